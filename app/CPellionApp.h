#pragma once

#include "app/CPellionDlg.h"

namespace pellion {

// The application: runs the main window modally and ends when it ends.
class CPellionApp {
  public:
    explicit CPellionApp(DialogOptions options = {});
    // Needs a QApplication. Returns the process exit code.
    int Run();

  private:
    DialogOptions options_;
};

}  // namespace pellion
