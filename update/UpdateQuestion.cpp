#include "update/UpdateQuestion.h"

#include <QMessageBox>

namespace pellion {

namespace {

// The stored texts break lines with a lone CR, which a plain-text label does not break at.
QString withLineBreaks(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

}  // namespace

void showUpdateQuestion(QWidget* parent, const QString& caption, const QString& text,
                        std::function<void(bool)> answered) {
    auto* box = new QMessageBox(QMessageBox::Question, caption, withLineBreaks(text),
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
