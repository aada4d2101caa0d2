#include <gtest/gtest.h>

#include <climits>

#include "ui/TextCompare.h"

namespace ListCtrlEx {
namespace {

TEST(TextCompare, NumericTextsFollowTheDigitsStopAndLeadingMinusRule) {
    for (const char* numeric : {"", "-", "0", "42", "-5", "2.9", ".5", "-3.", "007"}) {
        EXPECT_TRUE(isNumericText(QString::fromUtf8(numeric))) << numeric;
    }
    for (const char* other : {"1.5.2", "5-", "1-2", "--1", "COM3", "1 2", "+1", "１２", "é"}) {
        EXPECT_FALSE(isNumericText(QString::fromUtf8(other))) << other;
    }
}

TEST(TextCompare, OnlyTheIntegerPartCountsAndHugeValuesSaturate) {
    EXPECT_EQ(integerPart("2.9"), 2);
    EXPECT_EQ(integerPart("-17.2"), -17);
    EXPECT_EQ(integerPart("-"), 0);
    EXPECT_EQ(integerPart(""), 0);
    EXPECT_EQ(integerPart("99999999999999999999999"), LLONG_MAX);
    EXPECT_EQ(integerPart("-99999999999999999999999"), LLONG_MIN);
    EXPECT_EQ(compareNumericAware("2.9", "2.1"), 0);
}

TEST(TextCompare, NumericSortPutsTenAfterNineWhereTextSortPutsItBefore) {
    EXPECT_LT(compareForSort(SortKind::Numeric, "9", "10"), 0);
    EXPECT_GT(compareForSort(SortKind::Text, "9", "10"), 0);
    EXPECT_LT(compareForSort(SortKind::Numeric, "-5", "3"), 0);
    EXPECT_EQ(compareForSort(SortKind::Numeric, "", "-"), 0);
    // One side not numeric: character codes decide, so "5-" sorts after "10".
    EXPECT_GT(compareForSort(SortKind::Numeric, "5-", "10"), 0);
    EXPECT_GT(compareForSort(SortKind::Numeric, "1.5.2", "1.10"), 0);
}

TEST(TextCompare, TextOrderIsCaseSensitiveCodeOrderWithPrefixesFirst) {
    EXPECT_LT(compareCodes("B", "a"), 0);
    EXPECT_LT(compareCodes("COM1", "COM12"), 0);
    EXPECT_EQ(compareCodes("COM3", "COM3"), 0);
    EXPECT_GT(compareCodes("COM3", "COM12"), 0);
    // Chinese texts compare by their code points, not by their position in some table.
    EXPECT_LT(compareCodes(QString::fromUtf8("一"), QString::fromUtf8("下")), 0);
    EXPECT_GT(compareCodes(QString::fromUtf8("下"), "Z"), 0);
}

}  // namespace
}  // namespace ListCtrlEx
