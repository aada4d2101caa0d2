#include "app/OperatorMessage.h"

namespace pellion {

void showOperatorMessage(QWidget* parent, const QString& caption, const QString& text,
                         QMessageBox::Icon icon) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("operatorMessage"));
    box.exec();
}

}  // namespace pellion
