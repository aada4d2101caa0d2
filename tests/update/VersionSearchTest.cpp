#include <gtest/gtest.h>

#include "update/VersionSearch.h"

namespace pellion {
namespace {

TEST(PageText, EveryLineEndsInCarriageReturnLineFeed) {
    EXPECT_EQ(pageTextFromBody("first\nsecond\n"), QByteArray("first\r\nsecond\r\n"));
    EXPECT_EQ(pageTextFromBody("first\r\nsecond\r\n"), QByteArray("first\r\nsecond\r\n"));
    EXPECT_EQ(pageTextFromBody("last line without break"),
              QByteArray("last line without break\r\n"));
    EXPECT_EQ(pageTextFromBody("a\n\nb"), QByteArray("a\r\n\r\nb\r\n"));
}

TEST(PageText, OnlyAnEmptyBodyGivesAnEmptyText) {
    EXPECT_TRUE(pageTextFromBody("").isEmpty());
    EXPECT_EQ(pageTextFromBody("\n"), QByteArray("\r\n"));
}

TEST(VersionSearch, FindsTheVersionTextAnywhere) {
    EXPECT_TRUE(pageNamesVersion("1.2.0.15", "1.2.0.15"));
    EXPECT_TRUE(pageNamesVersion("<p>Newest: v1.2.0.15</p>\r\n", "1.2.0.15"));
    EXPECT_TRUE(pageNamesVersion("old 1.2.0.9\r\nnew (1.2.0.15)\r\n", "1.2.0.15"));
    // Inside a longer number it still counts as named: the search is a plain substring search.
    EXPECT_TRUE(pageNamesVersion("Newest: 11.0.0.5\r\n", "1.0.0"));
    EXPECT_TRUE(pageNamesVersion("Newest: 1.2.0.150\r\n", "1.2.0.15"));
    // Split by a line break, it is not.
    EXPECT_FALSE(pageNamesVersion("Newest: 1.2.\r\n0.15\r\n", "1.2.0.15"));
}

TEST(VersionSearch, ComparesBytesExactly) {
    EXPECT_FALSE(pageNamesVersion("1.2.0.16\r\n", "1.2.0.15"));
    EXPECT_FALSE(pageNamesVersion("none version support\r\n", "None VerSion Supprot"));
    EXPECT_TRUE(pageNamesVersion("x None VerSion Supprot y\r\n", "None VerSion Supprot"));
    EXPECT_FALSE(pageNamesVersion("anything", ""));
}

}  // namespace
}  // namespace pellion
