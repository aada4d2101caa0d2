#include "app/CPellionApp.h"

namespace pellion {

CPellionApp::CPellionApp(DialogOptions options) : options_(std::move(options)) {}

int CPellionApp::Run() {
    CPellionDlg dialog(options_);
    dialog.exec();
    return 0;
}

}  // namespace pellion
