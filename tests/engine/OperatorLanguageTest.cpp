#include <gtest/gtest.h>

#include "engine/OperatorLanguage.h"

namespace pellion {
namespace {

constexpr auto zh = OperatorLanguage::Chinese;
constexpr auto en = OperatorLanguage::English;

TEST(OperatorLanguageTest, ChineseUnlessTheLocaleNamesAnotherLanguage) {
    struct Case {
        LocaleVariables variables;
        OperatorLanguage expected;
    };
    const Case cases[] = {
        {{}, zh},
        {{"", "", "C.UTF-8", ""}, zh},
        {{"POSIX", "", "en_US.UTF-8", ""}, zh},  // LC_ALL wins, and names no language
        {{"", "", "zh_CN.UTF-8", ""}, zh},
        {{"", "", "zh_TW", ""}, zh},
        {{"", "", "en_US.UTF-8", ""}, en},
        {{"", "", "de_DE@euro", ""}, en},
        {{"", "zh_CN.UTF-8", "en_US.UTF-8", ""}, zh},  // messages before LANG
        {{"", "", "en_GB.UTF-8", "zh_CN:en"}, zh},     // LANGUAGE's first choice
        {{"", "", "C", "fr"}, zh},                     // ignored, as gettext does, under C
        {{"", "", "zh_CN.UTF-8", "en_US"}, en},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(languageOfLocaleVariables(c.variables), c.expected)
            << c.variables.all << "|" << c.variables.messages << "|" << c.variables.lang << "|"
            << c.variables.language;
    }
    EXPECT_EQ(parseOperatorLanguage("en"), en);
    EXPECT_EQ(parseOperatorLanguage("zh"), zh);
    EXPECT_EQ(parseOperatorLanguage("EN"), std::nullopt);
    EXPECT_EQ(parseOperatorLanguage(""), std::nullopt);
    EXPECT_EQ(chooseOperatorLanguage(en), en);
    EXPECT_EQ(chooseOperatorLanguage(zh), zh);
}

}  // namespace
}  // namespace pellion
