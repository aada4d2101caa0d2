#include "app/WindowLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

namespace pellion {

OperatorLanguage windowLanguage(const std::string& settingKey) {
    return chooseOperatorLanguage(parseOperatorLanguage(settingKey));
}

WindowLanguage::WindowLanguage(OperatorLanguage language) : language_(language) {
    // The sources hold the Chinese texts: only English needs our own catalogue, and only
    // Chinese needs Qt's, whose own texts are English.
    if (language == OperatorLanguage::English) {
        complete_ = install(own_, QStringLiteral("pellion_en"), QStringLiteral(":/i18n"));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    } else {
        complete_ = install(qt_, QStringLiteral("qtbase_zh_CN"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    }
}

WindowLanguage::~WindowLanguage() {
    QCoreApplication::removeTranslator(&own_);
    QCoreApplication::removeTranslator(&qt_);
    QLocale::setDefault(previousLocale_);
}

bool WindowLanguage::install(QTranslator& translator, const QString& name,
                             const QString& directory) {
    return translator.load(name, directory) && QCoreApplication::installTranslator(&translator);
}

}  // namespace pellion
