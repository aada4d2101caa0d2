#pragma once

#include <QMessageBox>
#include <QString>

namespace pellion {

// A modal box with one OK button, owned by `parent`; returns when the operator closes it.
// Window thread only.
void showOperatorMessage(QWidget* parent, const QString& caption, const QString& text,
                         QMessageBox::Icon icon = QMessageBox::NoIcon);

}  // namespace pellion
