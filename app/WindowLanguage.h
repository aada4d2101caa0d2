#pragma once

#include <QLocale>
#include <QTranslator>
#include <optional>
#include <string>

#include "engine/OperatorLanguage.h"

namespace pellion {

// The language the window speaks: the settings' "Language" key ("zh", "en") when it holds one,
// the locale otherwise.
OperatorLanguage windowLanguage(const std::string& settingKey);

// Puts the window's texts in `language` while it lives: our translation of the Chinese texts
// for English, Qt's own Chinese for its standard buttons and file dialog. Installed into the
// running application; window thread only.
class WindowLanguage {
  public:
    explicit WindowLanguage(OperatorLanguage language);
    ~WindowLanguage();
    WindowLanguage(const WindowLanguage&) = delete;
    WindowLanguage& operator=(const WindowLanguage&) = delete;

    OperatorLanguage language() const { return language_; }
    // Whether every translation the language needs was found and installed.
    bool complete() const { return complete_; }

  private:
    bool install(QTranslator& translator, const QString& name, const QString& directory);

    OperatorLanguage language_;
    QLocale previousLocale_;
    QTranslator own_;
    QTranslator qt_;
    bool complete_ = true;
};

}  // namespace pellion
