#pragma once

#include <optional>
#include <string_view>

namespace pellion {

// The language of operator texts. Chinese is the program's own; English serves every locale
// that asks for another language.
enum class OperatorLanguage { Chinese, English };

// "zh" or "en", as --lang and the settings name them; nothing for any other text.
std::optional<OperatorLanguage> parseOperatorLanguage(std::string_view code);
const char* operatorLanguageCode(OperatorLanguage language);

// What a locale name asks for ("zh_CN.UTF-8", "en_GB", "de"): Chinese for Chinese and for the
// locales that name no language (C, POSIX, C.UTF-8, none), English for any other.
OperatorLanguage languageOfLocale(std::string_view locale);

// The locale the C library would take for messages (LC_ALL, LC_MESSAGES, LANG); where it names a
// language, GNU's LANGUAGE list picks first, as gettext does.
struct LocaleVariables {
    std::string_view all, messages, lang, language;
};
OperatorLanguage languageOfLocaleVariables(const LocaleVariables& variables);
OperatorLanguage languageOfEnvironment();

// An explicit choice (--lang, the settings) wins over the environment.
OperatorLanguage chooseOperatorLanguage(std::optional<OperatorLanguage> chosen);

}  // namespace pellion
