#include "engine/OperatorLanguage.h"

#include <cstdlib>

namespace pellion {

namespace {

// "zh_CN.UTF-8@x" -> "zh"; "C.UTF-8" -> "C".
std::string_view languagePart(std::string_view locale) {
    return locale.substr(0, locale.find_first_of("_.@"));
}

bool namesNoLanguage(std::string_view locale) {
    const std::string_view language = languagePart(locale);
    return language.empty() || language == "C" || language == "POSIX";
}

std::string_view variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

}  // namespace

std::optional<OperatorLanguage> parseOperatorLanguage(std::string_view code) {
    if (code == "zh")
        return OperatorLanguage::Chinese;
    if (code == "en")
        return OperatorLanguage::English;
    return std::nullopt;
}

const char* operatorLanguageCode(OperatorLanguage language) {
    return language == OperatorLanguage::English ? "en" : "zh";
}

OperatorLanguage languageOfLocale(std::string_view locale) {
    if (namesNoLanguage(locale) || languagePart(locale) == "zh")
        return OperatorLanguage::Chinese;
    return OperatorLanguage::English;
}

OperatorLanguage languageOfLocaleVariables(const LocaleVariables& variables) {
    std::string_view locale = variables.all;
    if (locale.empty())
        locale = variables.messages;
    if (locale.empty())
        locale = variables.lang;
    if (namesNoLanguage(locale))
        return OperatorLanguage::Chinese;
    const std::string_view firstChoice = variables.language.substr(0, variables.language.find(':'));
    return languageOfLocale(firstChoice.empty() ? locale : firstChoice);
}

OperatorLanguage languageOfEnvironment() {
    return languageOfLocaleVariables(
        {variable("LC_ALL"), variable("LC_MESSAGES"), variable("LANG"), variable("LANGUAGE")});
}

OperatorLanguage chooseOperatorLanguage(std::optional<OperatorLanguage> chosen) {
    return chosen ? *chosen : languageOfEnvironment();
}

}  // namespace pellion
