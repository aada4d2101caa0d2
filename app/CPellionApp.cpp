#include "app/CPellionApp.h"

#include "app/WindowLanguage.h"

namespace pellion {

CPellionApp::CPellionApp(DialogOptions options) : options_(std::move(options)) {}

int CPellionApp::Run() {
    // The language is settled before the first control is made.
    DialogOptions options = options_;
    const std::string settingsPath =
        options.settingsPath.empty() ? settingsLocation().readPath : options.settingsPath;
    options.language = windowLanguage(readSettings(settingsPath).language);
    const WindowLanguage language(options.language);
    CPellionDlg dialog(options);
    dialog.exec();
    return 0;
}

}  // namespace pellion
