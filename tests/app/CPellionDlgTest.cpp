#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "AppTestSupport.h"
#include "Version.h"
#include "app/CPellionDlg.h"
#include "app/LanguageSetting.h"
#include "app/OwnFileVersion.h"
#include "app/WindowLanguage.h"
#include "support/FakeSerialMachine.h"
#include "ui/CListCtrlEx.h"

namespace pellion {
namespace {

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override { test::qtApp(); }

    DialogOptions options() const {
        DialogOptions result;
        result.settingsPath = settingsPath().toStdString();
        result.startUpdateNotice = false;
        return result;
    }
    QString settingsPath() const { return dir_.filePath(QStringLiteral("KTZozOvConfig.ini")); }
    bool settingsExist() const { return std::filesystem::exists(settingsPath().toStdString()); }

    template <class T>
    static T* child(CPellionDlg& dialog, const char* name) {
        T* widget = dialog.findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // Opens the window's context menu at `at` (dialog coordinates) and chooses its item
    // `choose` (from the end when negative); returns the menu's texts.
    static QStringList chooseFromContextMenu(CPellionDlg& dialog, const QPoint& at, int choose) {
        return test::chooseFromContextMenu(dialog, at, choose);
    }

    QTemporaryDir dir_;
};

TEST_F(DialogTest, FirstStartShowsTheDefaultsAndCreatesNoSettingsFile) {
    CPellionDlg dialog(options());
    auto* combo = child<QComboBox>(dialog, "intervalCombo");
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    EXPECT_EQ(items, QStringList({"0", "1", "2", "3", "4", "5", "10", "15", "20", "25", "30", "40",
                                  "50", "100", "200", "300", "400"}));
    EXPECT_EQ(combo->currentText(), "0");
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(child<QLineEdit>(dialog, "addressEdit")->text(), "8000000");
    EXPECT_TRUE(child<QRadioButton>(dialog, "appRadio")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(dialog, "optionBytesRadio")->isChecked());
    EXPECT_EQ(child<QLineEdit>(dialog, "downloadFileEdit")->text(), "");
    EXPECT_FALSE(child<QCheckBox>(dialog, "readProtectCheck")->isChecked());
    EXPECT_TRUE(child<QCheckBox>(dialog, "verifyCheck")->isChecked());  // verified by default
    EXPECT_EQ(child<QLabel>(dialog, "elapsedText")->text(), "");
    EXPECT_EQ(child<QLabel>(dialog, "runCountsText")->text(), "");
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(windowCaption(ownFileVersion())));
    EXPECT_EQ(dialog.windowTitle(),
              QStringLiteral("Tessaline ") +
                  (*PELLION_FILE_VERSION ? PELLION_FILE_VERSION : "None VerSion Supprot"));
    EXPECT_FALSE(child<QLabel>(dialog, "banner")->pixmap().isNull());
    EXPECT_FALSE(dialog.windowIcon().isNull());
    // Resizable, from the template's size upwards.
    EXPECT_EQ(dialog.size(), dialog.sizeHint());
    EXPECT_GT(dialog.maximumWidth(), 4000);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(settingsExist());
}

TEST_F(DialogTest, PortNamesShowWholeWithTheirDeviceInATooltip) {
    const QString longName = QStringLiteral("ttyUSB-station-7-socket-12");
    DialogOptions withPorts = options();
    withPorts.listPorts = [&] {
        std::vector<PortIdentity> ports;
        for (int i = 10; i < 16; ++i)
            ports.push_back({"ttyUSB" + std::to_string(i), "/dev/ttyUSB" + std::to_string(i)});
        ports.push_back({longName.toStdString(), "/dev/serial/by-path/socket-12"});
        return ports;
    };
    CPellionDlg dialog(withPorts);
    auto& list = dialog.portList();
    EXPECT_GE(list.columnWidth(1), QFontMetrics(list.font()).horizontalAdvance(longName) + 12);
    EXPECT_EQ(list.item(0, 1)->toolTip(), "设备：/dev/ttyUSB10");
    EXPECT_EQ(list.item(6, 1)->toolTip(), "设备：/dev/serial/by-path/socket-12");
}

// The row of the port named `name`, or -1.
int rowOfPort(ListCtrlEx::CListCtrlEx& list, const QString& name) {
    for (int row = 0; row < list.GetItemCount(); ++row) {
        if (list.GetItemText(row, ColumnPort) == name)
            return row;
    }
    return -1;
}

TEST_F(DialogTest, AStationLabelReplacesTheNumberAndStaysWithTheUsbSocket) {
    test::FakeSerialMachine machine;
    const auto adapter = machine.usbDevice("1-2.3", "0403", "6001", "A10KZX3B");
    machine.plugTty("ttyUSB0", adapter / "1-2.3:1.0/ttyUSB0", 0);
    machine.link("by-path", "pci-0000:00:14.0-usb-0:2.3:1.0-port0", "ttyUSB0");
    machine.addTty("ttyS0", true, 4);
    DialogOptions withMachine = options();
    withMachine.discovery = machine.sources();
    QStringList asked;
    QString answer = QStringLiteral(" 工位3;A=B\n");
    withMachine.askStationLabel = [&](QWidget*, const QString& port, const QString& current) {
        asked << port + QLatin1Char('|') + current;
        return std::optional<QString>(answer);
    };
    const QString dev = QString::fromStdString(machine.dev().string());
    {
        CPellionDlg dialog(withMachine);
        dialog.show();
        auto& list = dialog.portList();
        ASSERT_EQ(list.GetItemCount(), 2);
        const int row = rowOfPort(list, QStringLiteral("ttyUSB0"));
        ASSERT_EQ(row, 1);
        EXPECT_EQ(list.item(row, ColumnPort)->toolTip(),
                  "设备：" + dev + "/ttyUSB0\n固定路径：" + dev +
                      "/serial/by-path/pci-0000:00:14.0-usb-0:2.3:1.0-port0\n"
                      "适配器：0403:6001 USB Serial\n序列号：A10KZX3B\nUSB位置：1-2.3");
        EXPECT_EQ(list.item(0, ColumnPort)->toolTip(), "设备：" + dev + "/ttyS0");

        // The operator right-clicks the adapter's row and chooses the label item.
        QRect cell;
        ASSERT_TRUE(list.GetCellRect(row, ColumnRemark, cell));
        const QStringList menuTexts =
            chooseFromContextMenu(dialog, list.viewport()->mapTo(&dialog, cell.center()), -1);
        test::processEventsUntil([&] { return !asked.isEmpty(); }, 2000);
        EXPECT_EQ(menuTexts, QStringList({"关于 Pellion(&A)...", "设置启动方式(&B)...",
                                          "语言 Language(&G)...", "", "设置工位标签(&L)..."}));
        EXPECT_EQ(asked, QStringList({"ttyUSB0|"}));
        EXPECT_EQ(list.GetItemText(row, ColumnNumber), "工位3;A=B");
        EXPECT_EQ(list.GetItemText(0, ColumnNumber), "1");
        EXPECT_GT(list.columnWidth(ColumnNumber),
                  QFontMetrics(list.font()).horizontalAdvance("工位3;A=B") + list.rowHeight(row));

        // After a reboot the kernel names the adapter ttyUSB5; the label stays with its socket.
        machine.unplugTty("ttyUSB0");
        machine.plugTty("ttyUSB5", adapter / "1-2.3:1.0/ttyUSB5", 0);
        dialog.OnRefreshList();
        EXPECT_EQ(list.GetItemText(rowOfPort(list, "ttyUSB5"), ColumnNumber), "工位3;A=B");
        dialog.reject();
    }
    EXPECT_NE(
        test::fileContent(settingsPath()).find("StationLabels=1-2.3:1.0-port0=工位3\\;A\\=B\r\n"),
        std::string::npos);

    // The next start shows it; an empty answer brings the number back.
    answer = QString();
    {
        CPellionDlg dialog(withMachine);
        auto& list = dialog.portList();
        const int row = rowOfPort(list, QStringLiteral("ttyUSB5"));
        EXPECT_EQ(list.GetItemText(row, ColumnNumber), "工位3;A=B");
        dialog.editStationLabel(list.SlotOfRow(row));
        EXPECT_EQ(asked.back(), "ttyUSB5|工位3;A=B");
        EXPECT_EQ(list.GetItemText(row, ColumnNumber), QString::number(row + 1));
        dialog.reject();
    }
    EXPECT_NE(test::fileContent(settingsPath()).find("StationLabels=\r\n"), std::string::npos);
}

TEST_F(DialogTest, CancelWritesTheSettingsOfAFirstStart) {
    {
        CPellionDlg dialog(options());
        dialog.show();
        QTest::mouseClick(child<QPushButton>(dialog, "cancelButton"), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.isVisible());
    }
    EXPECT_EQ(test::fileContent(settingsPath()).substr(0, 80),
              "[Config]\r\nDownloadWaitTime=0\r\nDownloadPath=\r\nVerifyAfterDownload=1\r\n"
              "WindowWidth=");
}

TEST_F(DialogTest, SettingsRoundTripThroughEscapeAndTheTitleBar) {
    {
        CPellionDlg dialog(options());
        dialog.show();
        auto* combo = child<QComboBox>(dialog, "intervalCombo");
        combo->setEditText(QStringLiteral("7"));  // not one of the items
        child<QLineEdit>(dialog, "downloadFileEdit")->setText(QStringLiteral("/固件/app.hex"));
        child<QCheckBox>(dialog, "verifyCheck")->setChecked(true);
        child<QCheckBox>(dialog, "readProtectCheck")->setChecked(true);  // never saved
        dialog.resize(dialog.width() + 150, dialog.height() + 200);
        dialog.portList().setColumnWidth(7, 400);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
    }
    QSize grown;
    {
        CPellionDlg dialog(options());
        grown = dialog.sizeHint() + QSize(150, 200);
        EXPECT_EQ(dialog.size(), grown);
        EXPECT_EQ(dialog.portList().columnWidth(7), 400);
        EXPECT_EQ(child<QComboBox>(dialog, "intervalCombo")->currentText(), "7");
        EXPECT_EQ(child<QLineEdit>(dialog, "downloadFileEdit")->text(), "/固件/app.hex");
        EXPECT_TRUE(child<QCheckBox>(dialog, "verifyCheck")->isChecked());
        EXPECT_FALSE(child<QCheckBox>(dialog, "readProtectCheck")->isChecked());

        // Closing by the title bar takes the Cancel path as well.
        dialog.show();
        child<QComboBox>(dialog, "intervalCombo")->setCurrentIndex(13);  // "100"
        child<QCheckBox>(dialog, "verifyCheck")->setChecked(false);
        EXPECT_TRUE(dialog.close());
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    EXPECT_EQ(test::fileContent(settingsPath()),
              "[Config]\r\nDownloadWaitTime=100\r\nDownloadPath=/固件/app.hex\r\n"
              "VerifyAfterDownload=0\r\n" +
                  QStringLiteral("WindowWidth=%1\r\nWindowHeight=%2\r\n")
                      .arg(grown.width())
                      .arg(grown.height())
                      .toStdString() +
                  "ColumnWidths=40,52,70,50,50,120,100,400\r\n");
}

TEST_F(DialogTest, RadioButtonsSetTheAddressText) {
    CPellionDlg dialog(options());
    dialog.show();
    auto* address = child<QLineEdit>(dialog, "addressEdit");
    QTest::mouseClick(child<QRadioButton>(dialog, "optionBytesRadio"), Qt::LeftButton);
    EXPECT_EQ(address->text(), "1FFFF800");
    EXPECT_FALSE(child<QRadioButton>(dialog, "appRadio")->isChecked());

    address->setEnabled(false);
    QTest::mouseClick(child<QRadioButton>(dialog, "otherRadio"), Qt::LeftButton);
    EXPECT_EQ(address->text(), "");
    EXPECT_FALSE(address->isEnabled());  // left as it was
    EXPECT_TRUE(child<QRadioButton>(dialog, "otherRadio")->isChecked());
    address->setEnabled(true);

    QTest::mouseClick(child<QRadioButton>(dialog, "appRadio"), Qt::LeftButton);
    EXPECT_EQ(address->text(), "8000000");
    EXPECT_FALSE(child<QRadioButton>(dialog, "otherRadio")->isChecked());
}

TEST_F(DialogTest, TypedAddressLettersBecomeCapitals) {
    CPellionDlg dialog(options());
    dialog.show();
    auto* address = child<QLineEdit>(dialog, "addressEdit");
    address->clear();
    QTest::keyClicks(address, "1fff8a0");
    EXPECT_EQ(address->text(), "1FFF8A0");
}

TEST_F(DialogTest, EnterPressesOkAndTabFollowsTheTemplateOrder) {
    CPellionDlg dialog(options());
    dialog.show();
    auto* ok = child<QPushButton>(dialog, "okButton");
    QSignalSpy okClicks(ok, &QPushButton::clicked);
    auto* address = child<QLineEdit>(dialog, "addressEdit");
    address->setFocus();
    {
        test::ModalWatcher watcher;
        QTest::keyClick(address, Qt::Key_Return);
        EXPECT_EQ(okClicks.count(), 1);
        // OK starts a run, which wants a download file first; it never closes the window.
        ASSERT_EQ(watcher.seen().size(), 1u);
        EXPECT_EQ(watcher.seen()[0].caption, "KT MCU");
        EXPECT_EQ(watcher.seen()[0].text, "请选择下载文件!");
    }
    EXPECT_TRUE(dialog.isVisible());

    // The port list comes straight after Cancel, as in the dialog's template.
    const char* expected[] = {
        "okButton",      "cancelButton",     "portList",   "intervalCombo",    "downloadFileEdit",
        "browseButton",  "addressEdit",      "appRadio",   "optionBytesRadio", "otherRadio",
        "refreshButton", "readProtectCheck", "verifyCheck"};
    QStringList chain;
    QWidget* widget = ok;
    do {
        if (!widget->objectName().isEmpty())
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != ok && chain.size() < 64);
    QStringList wanted;
    for (const char* name : expected)
        wanted << QLatin1String(name);
    QStringList relevant;
    for (const QString& name : chain) {
        if (wanted.contains(name))
            relevant << name;
    }
    EXPECT_EQ(relevant, wanted);
}

TEST_F(DialogTest, AboutBoxOpensFromF1) {
    CPellionDlg dialog(options());
    dialog.show();
    test::ModalWatcher watcher;
    QTest::keyClick(&dialog, Qt::Key_F1);
    ASSERT_EQ(watcher.seen().size(), 1u);
    EXPECT_EQ(watcher.seen()[0].caption, "关于 Pellion");
    EXPECT_TRUE(watcher.seen()[0].text.contains("Pellion，1.0 版"));
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(DialogTest, AboutBoxOpensFromTheContextMenu) {
    CPellionDlg dialog(options());
    dialog.show();
    test::ModalWatcher watcher;
    const QStringList menuTexts = chooseFromContextMenu(dialog, QPoint(20, 200), 0);
    test::processEventsUntil([&] { return !watcher.seen().empty(); }, 2000);
    EXPECT_EQ(menuTexts,
              QStringList({"关于 Pellion(&A)...", "设置启动方式(&B)...", "语言 Language(&G)..."}));
    ASSERT_EQ(watcher.seen().size(), 1u);
    EXPECT_EQ(watcher.seen()[0].caption, "关于 Pellion");
}

// The language item of the context menu: the list box offers each language in its own words,
// the choice is saved in "Config" at once and the next start speaks it.
TEST_F(DialogTest, TheLanguageItemSavesTheChoiceForTheNextStart) {
    QStringList offered;
    QTimer::singleShot(20, [&] {
        auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!box)
            return;
        offered = box->comboBoxItems();
        offered << box->textValue();
        box->setTextValue(QStringLiteral("English"));
        box->accept();
    });
    EXPECT_EQ(askLanguageWithListBox(nullptr, "zh"), "en");
    EXPECT_EQ(offered, QStringList({"中文", "English", "跟随系统", "中文"}));
    EXPECT_EQ(languageChoiceText("fr"), "跟随系统");

    DialogOptions choosing = options();
    std::vector<std::string> asked;
    std::optional<std::string> answer = "en";
    choosing.askLanguage = [&](QWidget*, const std::string& current) {
        asked.push_back(current);
        return answer;
    };
    {
        CPellionDlg dialog(choosing);
        dialog.show();
        test::ModalWatcher watcher;
        chooseFromContextMenu(dialog, QPoint(20, 200), 2);
        test::processEventsUntil([&] { return !watcher.seen().empty(); }, 2000);
        ASSERT_EQ(watcher.seen().size(), 1u);
        EXPECT_EQ(watcher.seen()[0].text, "界面语言将在下次启动时更改。");
        // Saved at once, before the window closes.
        EXPECT_EQ(readSettings(settingsPath().toStdString()).language, "en");
        answer = std::nullopt;  // cancelled: nothing changes
        chooseFromContextMenu(dialog, QPoint(20, 200), 2);
        EXPECT_EQ(readSettings(settingsPath().toStdString()).language, "en");
    }
    EXPECT_EQ(windowLanguage(readSettings(settingsPath().toStdString()).language),
              OperatorLanguage::English);
    {
        CPellionDlg dialog(choosing);
        answer = "";  // back to the locale, which under the tests' C locale is Chinese
        test::ModalWatcher watcher;
        chooseFromContextMenu(dialog, QPoint(20, 200), 2);
        test::processEventsUntil([&] { return !watcher.seen().empty(); }, 2000);
    }
    EXPECT_EQ(asked, std::vector<std::string>({"", "en", "en"}));
    EXPECT_EQ(readSettings(settingsPath().toStdString()).language, "");
    EXPECT_EQ(windowLanguage(readSettings(settingsPath().toStdString()).language),
              OperatorLanguage::Chinese);
}

}  // namespace
}  // namespace pellion
