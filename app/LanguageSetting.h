#pragma once

#include <QCoreApplication>
#include <QString>
#include <optional>
#include <string>

class QWidget;

namespace pellion {

// The window's language as the operator sets it: the settings' "Language" key, "zh" or "en",
// or empty to follow the locale. The window settles its language before its first control is
// made, so a new choice takes effect at the next start.
struct LanguageChoice {
    const char* key;
    const char* text;  // as offered: each language in its own words, the locale in the window's
};
inline constexpr LanguageChoice kLanguageChoices[] = {
    {"zh", "中文"},
    {"en", "English"},
    {"", QT_TRANSLATE_NOOP("pellion::WindowTexts", "跟随系统")},
};

// The offered text of a key; keys the settings may hold but no choice writes follow the locale.
QString languageChoiceText(const std::string& key);
// The key of an offered text; none for a text that is no choice.
std::optional<std::string> languageChoiceKey(const QString& text);

// Asks with a list box, the current key chosen; none means cancelled.
std::optional<std::string> askLanguageWithListBox(QWidget* parent, const std::string& current);

}  // namespace pellion
