#pragma once

#include <QMessageBox>
#include <QString>

namespace pellion {

// A modal box with one OK button, owned by `parent`; returns when the operator closes it.
// Window thread only.
void showOperatorMessage(QWidget* parent, const QString& caption, const QString& text,
                         QMessageBox::Icon icon = QMessageBox::NoIcon);

// A modal question with Yes and No, No being the default (Enter and Escape both keep things as
// they are); true when the operator chose Yes. Window thread only.
bool askOperator(QWidget* parent, const QString& caption, const QString& text);

}  // namespace pellion
