#pragma once

#include <QDialog>

namespace pellion {

// The About box: the icon, the program's name and version line, one line about what it does,
// and "确定".
class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace pellion
