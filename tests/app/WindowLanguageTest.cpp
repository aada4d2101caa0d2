#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include "AppTestSupport.h"
#include "app/Artwork.h"
#include "app/CPellionApp.h"
#include "app/WindowLanguage.h"
#include "ui/CListCtrlEx.h"

namespace pellion {
namespace {

class WindowLanguageTest : public ::testing::Test {
  protected:
    void SetUp() override { test::qtApp(); }

    DialogOptions options(OperatorLanguage language) const {
        DialogOptions result;
        result.settingsPath = settingsPath().toStdString();
        result.startUpdateNotice = false;
        result.listPorts = [] { return std::vector<PortIdentity>(); };
        result.language = language;
        return result;
    }
    QString settingsPath() const { return dir_.filePath(QStringLiteral("KTZozOvConfig.ini")); }
    void writeSettings(const QByteArray& text) const {
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    // The texts of the window's labels and buttons, each checked to show whole at the window's
    // default size, and the column headings likewise.
    static QStringList wholeTexts(CPellionDlg& dialog) {
        QStringList texts;
        for (auto* label : dialog.findChildren<QLabel*>()) {
            if (label->text().isEmpty())
                continue;
            texts << label->text();
            EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        }
        for (auto* button : dialog.findChildren<QAbstractButton*>()) {
            texts << button->text();
            EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
        }
        auto& list = dialog.portList();
        const QFontMetrics metrics(list.font());
        for (int column = 0; column < list.GetColumnCount(); ++column) {
            const QString heading = list.horizontalHeaderItem(column)->text();
            texts << heading;
            EXPECT_LE(metrics.horizontalAdvance(heading) + 8, list.columnWidth(column))
                << heading.toStdString();
        }
        return texts;
    }

    // The button texts of a Yes/No box in the language installed.
    static QStringList questionButtons() {
        QMessageBox box(QMessageBox::Question, QString(), QString(),
                        QMessageBox::Yes | QMessageBox::No);
        return {box.button(QMessageBox::Yes)->text(), box.button(QMessageBox::No)->text()};
    }

    QTemporaryDir dir_;
};

TEST_F(WindowLanguageTest, EachLanguageShowsWholeAtTheDefaultSizeWithQtsOwnButtonsAlike) {
    QSize englishSize;
    {
        const WindowLanguage language(OperatorLanguage::English);
        EXPECT_TRUE(language.complete());
        CPellionDlg dialog(options(OperatorLanguage::English));
        dialog.show();
        const QStringList texts = wholeTexts(dialog);
        for (const char* english : {"OK",
                                    "Cancel",
                                    "Open",
                                    "Interval",
                                    "Address 0x",
                                    "File",
                                    "Time:",
                                    "Application",
                                    "Option bytes",
                                    "Other",
                                    "Refresh list",
                                    "Protect after download",
                                    "Verify after download",
                                    "No.",
                                    "Port",
                                    "Baud",
                                    "Init",
                                    "Read?",
                                    "Model",
                                    "Progress",
                                    "Remark"}) {
            EXPECT_TRUE(texts.contains(QString::fromUtf8(english))) << english;
        }
        for (const QString& text : texts)
            EXPECT_FALSE(text.contains(QRegularExpression("[\\x{4e00}-\\x{9fff}]")))
                << text.toStdString();
        EXPECT_EQ(questionButtons(), QStringList({"&Yes", "&No"}));
        const QImage banner = dialog.findChild<QLabel*>("banner")->pixmap().toImage();
        EXPECT_EQ(banner.size(), QSize(770, 60));
        EXPECT_NE(banner, bannerPixmap().toImage()) << "the tagline stayed Chinese";
        englishSize = dialog.size();
    }
    const WindowLanguage language(OperatorLanguage::Chinese);
    EXPECT_TRUE(language.complete()) << "Qt's Chinese translations are missing";
    CPellionDlg dialog(options(OperatorLanguage::Chinese));
    dialog.show();
    const QStringList texts = wholeTexts(dialog);
    EXPECT_TRUE(texts.contains("确定"));
    EXPECT_TRUE(texts.contains("下载后设置读保护"));
    EXPECT_TRUE(texts.contains("完成状态"));
    // The English texts need no more room than the Chinese ones.
    EXPECT_LE(englishSize.width(), dialog.width());
    EXPECT_LE(englishSize.height(), dialog.height());
    const QStringList buttons = questionButtons();
    EXPECT_TRUE(buttons[0].startsWith(QStringLiteral("是"))) << buttons[0].toStdString();
    EXPECT_TRUE(buttons[1].startsWith(QStringLiteral("否"))) << buttons[1].toStdString();
}

TEST_F(WindowLanguageTest, TheSettingsKeyOverridesTheLocaleAndTheLocaleDecidesWithoutIt) {
    struct Case {
        QByteArray settings;
        QByteArray locale;
        QString ok;
    };
    const Case cases[] = {
        {"[Config]\nLanguage=en\n", "zh_CN.UTF-8", "OK"},
        {"[Config]\nLanguage=zh\n", "en_US.UTF-8", "确定"},
        {"[Config]\nDownloadWaitTime=5\n", "en_US.UTF-8", "OK"},
        {"[Config]\nLanguage=fr\n", "C.UTF-8", "确定"},
    };
    const QByteArray savedLocale = qgetenv("LC_ALL");
    for (const Case& c : cases) {
        writeSettings(c.settings);
        qputenv("LC_ALL", c.locale);
        QString okText;
        QTimer::singleShot(0, [&] {
            auto* window = qobject_cast<CPellionDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(window, nullptr);
            okText = window->findChild<QPushButton*>("okButton")->text();
            window->reject();
        });
        DialogOptions appOptions = options(OperatorLanguage::Chinese);
        CPellionApp(appOptions).Run();
        EXPECT_EQ(okText, c.ok) << c.settings.toStdString() << c.locale.toStdString();
    }
    qputenv("LC_ALL", savedLocale);
    // Once the window is gone, so are its translations.
    EXPECT_EQ(QCoreApplication::translate("pellion::CPellionDlg", "确定"), "确定");
}

}  // namespace
}  // namespace pellion
