#include "app/BootSequenceDialog.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "app/SingleLineValidator.h"
#include "app/Utf8Text.h"
#include "app/WindowTexts.h"

namespace pellion {

namespace {

QString fieldProblem(const char* label, const QString& text, BootRole role,
                     OperatorLanguage language) {
    const BootSequenceParse parse = ParseBootSequence(toUtf8(text), role);
    if (parse.ok())
        return QString();
    return windowText(label) + fromUtf8(language == OperatorLanguage::English
                                            ? BootSequenceErrorTextEnglish(parse)
                                            : BootSequenceErrorText(parse));
}

QComboBox* sequenceBox(QWidget* parent, const char* name, BootRole role, const QString& text) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(QString::fromLatin1(BootPresetNames(role)).split(QLatin1Char('|')));
    box->lineEdit()->setValidator(new SingleLineValidator(box));
    box->setEditText(text.isEmpty() ? box->itemText(0) : text);
    box->setMinimumWidth(260);
    return box;
}

}  // namespace

QString bootSequenceProblem(const BootSequenceTexts& texts, OperatorLanguage language) {
    const QString entry = fieldProblem(kTextBootEntry, texts.entry, BootRole::Entry, language);
    return entry.isEmpty() ? fieldProblem(kTextBootExit, texts.exit, BootRole::Exit, language)
                           : entry;
}

BootSequences parseBootSequenceTexts(const BootSequenceTexts& texts) {
    BootSequences sequences;
    const auto entry = ParseBootSequence(toUtf8(texts.entry), BootRole::Entry);
    const auto exit = ParseBootSequence(toUtf8(texts.exit), BootRole::Exit);
    if (entry.ok())
        sequences.entry = entry.steps;
    if (exit.ok() && !exit.go)
        sequences.exit = exit.steps;
    return sequences;
}

std::optional<BootSequenceTexts> askBootSequences(QWidget* parent, const BootSequenceTexts& current,
                                                  OperatorLanguage language) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("bootSequenceDialog"));
    dialog.setWindowTitle(windowText(kTextBootCaption));
    auto* entry = sequenceBox(&dialog, "bootEntryBox", BootRole::Entry, current.entry);
    auto* exit = sequenceBox(&dialog, "bootExitBox", BootRole::Exit, current.exit);
    auto* problem = new QLabel(&dialog);
    problem->setObjectName(QStringLiteral("bootProblem"));
    problem->setStyleSheet(QStringLiteral("color: red"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);

    auto* layout = new QFormLayout(&dialog);
    layout->addRow(windowText(kTextBootEntry), entry);
    layout->addRow(windowText(kTextBootExit), exit);
    layout->addRow(new QLabel(windowText(kTextBootHelp), &dialog));
    layout->addRow(problem);
    layout->addRow(buttons);

    BootSequenceTexts chosen;
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        chosen = {entry->currentText().trimmed(), exit->currentText().trimmed()};
        const QString text = bootSequenceProblem(chosen, language);
        problem->setText(text);
        if (text.isEmpty())
            dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return chosen;
}

}  // namespace pellion
