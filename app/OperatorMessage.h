#pragma once

#include <QMessageBox>
#include <QString>

namespace pellion {

// Caption of every message about the run and about ports.
inline const QString kRunCaption = QStringLiteral("KT MCU");

// A modal box with one OK button, owned by `parent`; returns when the operator closes it.
// Window thread only.
void showOperatorMessage(QWidget* parent, const QString& caption, const QString& text,
                         QMessageBox::Icon icon = QMessageBox::NoIcon);

}  // namespace pellion
