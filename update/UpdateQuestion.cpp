#include "update/UpdateQuestion.h"

#include <QMessageBox>

namespace pellion {

void showUpdateQuestion(QWidget* parent, const QString& caption, const QString& text,
                        std::function<void(bool)> answered) {
    auto* box = new QMessageBox(QMessageBox::Question, caption, text,
                                QMessageBox::Yes | QMessageBox::No, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setEscapeButton(QMessageBox::No);
    QObject::connect(
        box, &QMessageBox::finished, box,
        [answered = std::move(answered)](int result) { answered(result == QMessageBox::Yes); });
    box->show();
}

}  // namespace pellion
