#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/TextTable.h"

namespace pellion {
namespace {

std::multiset<std::string> placeholdersOf(std::string_view pattern) {
    std::multiset<std::string> names;
    for (auto open = pattern.find('{'); open != std::string_view::npos;
         open = pattern.find('{', open + 1)) {
        const auto close = pattern.find('}', open);
        if (close == std::string_view::npos)
            break;
        names.insert(std::string(pattern.substr(open + 1, close - open - 1)));
    }
    return names;
}

TEST(TextTableTest, EveryIdentifierHasAChineseAndAnEnglishTextWithTheSameParameters) {
    for (int i = 0; i < int(TextId::Count); ++i) {
        const std::string_view zh = TextPattern(TextId(i), OperatorLanguage::Chinese);
        const std::string_view en = TextPattern(TextId(i), OperatorLanguage::English);
        EXPECT_FALSE(zh.empty()) << "TextId " << i;
        EXPECT_FALSE(en.empty()) << "TextId " << i;
        EXPECT_EQ(placeholdersOf(zh), placeholdersOf(en)) << zh << " | " << en;
        for (unsigned char c : en)
            EXPECT_LT(c, 0x80) << "not English: " << en;
    }
    // The parts of a failure are put together by each language's own pattern.
    const auto failure = [](OperatorLanguage language) {
        return Text(TextId::FailureWithReason,
                    {{"step", Text(TextId::FailedVerify, {}, language)},
                     {"reason", Text(TextId::ReasonFlashDiffers,
                                     {{"address", HexAddress(0x08000104)}}, language)}},
                    language);
    };
    EXPECT_EQ(failure(OperatorLanguage::Chinese), "校验失败,地址0x08000104的内容与下载文件不同");
    EXPECT_EQ(failure(OperatorLanguage::English),
              "Verification failed: the flash at 0x08000104 differs from the download file");
}

}  // namespace
}  // namespace pellion
