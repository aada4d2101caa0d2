#include <gtest/gtest.h>

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QUrl>
#include <fstream>

#include "AppTestSupport.h"
#include "app/CPellionDlg.h"
#include "app/SettingsFile.h"
#include "support/HexFixtures.h"

namespace pellion {
namespace {

// What the browse button and dropped files do to the download-file box, the address box and
// the address controls.
class DownloadFileBoxesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::qtApp();
        openWindow();
    }
    // The window, as a start of the program finds it with the settings file of dir_.
    void openWindow() {
        radios_.clear();
        dialog_.reset();
        DialogOptions options;
        options.settingsPath = dir_.filePath(QStringLiteral("KTZozOvConfig.ini")).toStdString();
        options.startUpdateNotice = false;
        options.chooseDownloadFile = [this](QWidget*) { return chosen_; };
        options.listPorts = [] { return std::vector<PortIdentity>{}; };
        dialog_ = std::make_unique<CPellionDlg>(options);
        dialog_->show();
        fileBox_ = dialog_->findChild<QLineEdit*>(QStringLiteral("downloadFileEdit"));
        address_ = dialog_->findChild<QLineEdit*>(QStringLiteral("addressEdit"));
        for (const char* name : {"appRadio", "optionBytesRadio", "otherRadio"}) {
            radios_.push_back(dialog_->findChild<QRadioButton*>(QLatin1String(name)));
        }
        ASSERT_TRUE(fileBox_ && address_ && radios_.size() == 3);
    }

    void browse(const std::string& path) {
        chosen_ = QString::fromStdString(path);
        dialog_->onBrowse();
    }

    // A real drop event, delivered to the window as the platform delivers it.
    void drop(const QStringList& paths, QPoint position) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const auto& path : paths)
            urls << QUrl::fromLocalFile(path);
        mime.setUrls(urls);
        // The platform announces a drag before it drops; the drop goes where the drag entered.
        QDragEnterEvent enter(position, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(dialog_.get(), &enter);
        QDropEvent event(QPointF(position), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(dialog_.get(), &event);
    }
    QRect fileBoxRect() const {
        return QRect(fileBox_->mapTo(dialog_.get(), QPoint(0, 0)), fileBox_->size());
    }

    bool addressControlsEnabled() const {
        bool all = address_->isEnabled();
        bool any = all;
        for (auto* radio : radios_) {
            all = all && radio->isEnabled();
            any = any || radio->isEnabled();
        }
        EXPECT_EQ(all, any) << "address box and radio buttons disagree";
        return all;
    }

    QTemporaryDir dir_;
    QString chosen_;
    std::unique_ptr<CPellionDlg> dialog_;
    QLineEdit* fileBox_ = nullptr;
    QLineEdit* address_ = nullptr;
    std::vector<QRadioButton*> radios_;
};

TEST_F(DownloadFileBoxesTest, BrowsedHexShowsItsStartAndLocksTheAddress) {
    test::TempFile hex("app.HeX", test::makeHexText(0x08004000, test::patternBytes(300)));
    browse(hex.path());
    EXPECT_EQ(fileBox_->text().toStdString(), hex.path());
    EXPECT_EQ(address_->text(), "8004000");
    EXPECT_FALSE(addressControlsEnabled());

    test::TempFile options("opt.hex", test::makeHexText(0x1FFFF800, test::patternBytes(16)));
    browse(options.path());
    EXPECT_EQ(address_->text(), "1FFFF800");  // the box shows capitals
    EXPECT_FALSE(addressControlsEnabled());

    // A raw image takes its address from the box again.
    test::TempFile bin("app.bin", test::patternBytes(64));
    browse(bin.path());
    EXPECT_EQ(fileBox_->text().toStdString(), bin.path());
    EXPECT_EQ(address_->text(), "1FFFF800");
    EXPECT_TRUE(addressControlsEnabled());
}

TEST_F(DownloadFileBoxesTest, BrowsedHexWithoutAStartEmptiesTheAddressAndSaysWhy) {
    test::TempFile broken("broken.hex", std::string("this is no record\r\n"));
    test::ModalWatcher watcher;
    browse(broken.path());
    EXPECT_EQ(fileBox_->text().toStdString(), broken.path());
    EXPECT_EQ(address_->text(), "");
    EXPECT_TRUE(addressControlsEnabled());  // left as it was
    ASSERT_EQ(watcher.seen().size(), 1u);
    EXPECT_EQ(watcher.seen()[0].caption, "KT MCU");
    EXPECT_FALSE(watcher.seen()[0].text.isEmpty());
}

TEST_F(DownloadFileBoxesTest, CancelledBrowseChangesNothing) {
    fileBox_->setText(QStringLiteral("/old.bin"));
    browse("");
    EXPECT_EQ(fileBox_->text(), "/old.bin");
    EXPECT_EQ(address_->text(), "8000000");
    EXPECT_TRUE(addressControlsEnabled());
}

TEST_F(DownloadFileBoxesTest, OneFileDroppedInsideTheFileBoxIsTaken) {
    test::TempFile hex("drop.hex", test::makeHexText(0x08000000, test::patternBytes(100)));
    drop({QString::fromStdString(hex.path())}, fileBoxRect().center());
    EXPECT_EQ(fileBox_->text().toStdString(), hex.path());
    EXPECT_EQ(address_->text(), "8000000");
    EXPECT_FALSE(addressControlsEnabled());

    test::TempFile bin("drop.bin", test::patternBytes(10));
    drop({QString::fromStdString(bin.path())}, fileBoxRect().center());
    EXPECT_EQ(fileBox_->text().toStdString(), bin.path());
    EXPECT_TRUE(addressControlsEnabled());
}

TEST_F(DownloadFileBoxesTest, DropsOutsideTheBoxOnItsEdgeOrOfTwoFilesAreIgnored) {
    test::TempFile a("a.hex", test::makeHexText(0x08000000, test::patternBytes(16)));
    test::TempFile b("b.bin", test::patternBytes(16));
    const QString pathA = QString::fromStdString(a.path());
    const QRect box = fileBoxRect();

    drop({pathA, QString::fromStdString(b.path())}, box.center());
    drop({pathA}, QPoint(box.left(), box.center().y()));                // on the left edge
    drop({pathA}, QPoint(box.center().x(), box.top()));                 // on the top edge
    drop({pathA}, QPoint(box.center().x(), box.top() + box.height()));  // just below
    drop({pathA}, address_->mapTo(dialog_.get(), address_->rect().center()));
    EXPECT_EQ(fileBox_->text(), "");
    EXPECT_TRUE(addressControlsEnabled());

    // The last pixel inside still counts.
    drop({pathA}, QPoint(box.left() + box.width() - 1, box.top() + box.height() - 1));
    EXPECT_EQ(fileBox_->text(), pathA);
}

// Restored, typed, pasted or checked again at OK: whatever puts a HEX file into the box shows
// its start address, locked, since that is where a run programs it.
TEST_F(DownloadFileBoxesTest, AHexFileInTheBoxShowsItsStartHoweverItGotThere) {
    test::TempFile hex("start.hex", test::makeHexText(0x08002000, test::patternBytes(64)));
    const QString hexPath = QString::fromStdString(hex.path());
    SavedSettings saved;
    saved.downloadPath = hex.path();
    ASSERT_TRUE(writeSettings(dialog_->settingsPath(), saved));
    openWindow();
    EXPECT_EQ(fileBox_->text(), hexPath);
    EXPECT_EQ(address_->text(), "8002000");
    EXPECT_FALSE(addressControlsEnabled());

    test::TempFile bin("raw.bin", test::patternBytes(64));
    fileBox_->selectAll();
    QTest::keyClicks(fileBox_, QString::fromStdString(bin.path()));
    EXPECT_TRUE(addressControlsEnabled());
    EXPECT_EQ(address_->text(), "8002000");  // kept, as after browsing a raw file

    QGuiApplication::clipboard()->setText(hexPath);
    fileBox_->selectAll();
    fileBox_->paste();
    EXPECT_EQ(fileBox_->text(), hexPath);
    EXPECT_FALSE(addressControlsEnabled());

    // A name with a line break is never taken: not pasted, not browsed.
    QGuiApplication::clipboard()->setText(hexPath + "\nDownloadWaitTime=9");
    fileBox_->selectAll();
    fileBox_->paste();
    EXPECT_EQ(fileBox_->text(), hexPath);
    {
        test::ModalWatcher watcher;
        browse(hex.path() + "\r.hex");
        EXPECT_EQ(watcher.texts(), QStringList({"文件名含有换行符,不能使用!"}));
    }
    EXPECT_EQ(fileBox_->text(), hexPath);

    // The file was rebuilt at another address since: OK shows what the run would use, and says
    // that no row is ticked instead of doing nothing.
    {
        std::ofstream(hex.path(), std::ios::binary | std::ios::trunc)
            << test::makeHexText(0x08010000, test::patternBytes(64));
    }
    test::ModalWatcher watcher;
    QTest::mouseClick(dialog_->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
    EXPECT_EQ(address_->text(), "8010000");
    ASSERT_EQ(watcher.seen().size(), 1u);
    EXPECT_EQ(watcher.seen()[0].caption, "KT MCU");
    EXPECT_EQ(watcher.seen()[0].text, "请勾选要下载的串口!");
}

}  // namespace
}  // namespace pellion
