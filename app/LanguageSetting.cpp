#include "app/LanguageSetting.h"

#include <QInputDialog>
#include <QStringList>

#include "app/WindowTexts.h"

namespace pellion {

namespace {

QString offered(const LanguageChoice& choice) {
    return *choice.key ? QString::fromUtf8(choice.text) : windowText(choice.text);
}

}  // namespace

QString languageChoiceText(const std::string& key) {
    for (const LanguageChoice& choice : kLanguageChoices) {
        if (key == choice.key)
            return offered(choice);
    }
    return offered(kLanguageChoices[std::size(kLanguageChoices) - 1]);
}

std::optional<std::string> languageChoiceKey(const QString& text) {
    for (const LanguageChoice& choice : kLanguageChoices) {
        if (text == offered(choice))
            return std::string(choice.key);
    }
    return std::nullopt;
}

std::optional<std::string> askLanguageWithListBox(QWidget* parent, const std::string& current) {
    QStringList items;
    for (const LanguageChoice& choice : kLanguageChoices)
        items << offered(choice);
    bool accepted = false;
    const QString chosen = QInputDialog::getItem(
        parent, windowText(kTextLanguageCaption), windowText(kTextLanguagePrompt), items,
        static_cast<int>(items.indexOf(languageChoiceText(current))), false, &accepted);
    if (!accepted)
        return std::nullopt;
    return languageChoiceKey(chosen);
}

}  // namespace pellion
