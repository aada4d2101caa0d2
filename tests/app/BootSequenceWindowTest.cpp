// The boot entry and exit as the operator sets them in the window: their dialog refuses a bad
// sequence where it goes wrong, the chosen ones drive a run of four chips that start in their
// application, and the next window finds them again.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "AppTestSupport.h"
#include "WindowEndToEndFixture.h"
#include "app/SettingsFile.h"
#include "engine/RunControl.h"
#include "support/HexFixtures.h"

namespace pellion {
namespace {

using test::kFlashStart;
using test::WindowEndToEndTest;

QWidget* bootDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QStringLiteral("bootSequenceDialog") && widget->isVisible())
            return widget;
    }
    return nullptr;
}

void typeAndConfirm(QWidget* dialog, const QString& entry, const QString& exit) {
    dialog->findChild<QComboBox*>(QStringLiteral("bootEntryBox"))->setEditText(entry);
    dialog->findChild<QComboBox*>(QStringLiteral("bootExitBox"))->setEditText(exit);
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

TEST_F(WindowEndToEndTest, BootSequencesChosenInTheirDialogDriveFourChipsAndAreKept) {
    sim::ChipOptions board;
    board.wiring = sim::Wiring::RtsReset;
    board.startInApplication = true;
    startWindow(4, board);

    QString refusal;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = bootDialog();
        ASSERT_NE(dialog, nullptr);
        typeAndConfirm(dialog, QStringLiteral("D1|R1|W20|R0|Wx"), QStringLiteral("go"));
        refusal = dialog->findChild<QLabel*>(QStringLiteral("bootProblem"))->text();
        ASSERT_TRUE(dialog->isVisible());  // stays open until the text is right
        typeAndConfirm(dialog, QStringLiteral("rts-reset"), QStringLiteral("rts-reset"));
    });
    dialog_->editBootSequences();
    EXPECT_EQ(refusal,
              QStringLiteral("进入下载模式：启动序列有误,第15个字符处W后应为等待的毫秒数"));

    std::vector<int> chipSlots;
    for (std::size_t i = 0; i < 4; ++i)
        chipSlots.push_back(slotOfChip(i));
    tickAndIdentify(chipSlots);
    const auto image = test::patternBytes(3000, 5);
    test::TempFile file("app.bin", image);
    dialog_->findChild<QLineEdit*>("downloadFileEdit")
        ->setText(QString::fromStdString(file.path()));
    QTest::mouseClick(button("okButton"), Qt::LeftButton);
    const QString reset = QStringLiteral("下载完成后成功复位运行");
    ASSERT_TRUE(test::processEventsUntil(
        [&] {
            for (int slot : chipSlots) {
                if (text(slot, ColumnRemark) != reset)
                    return false;
            }
            return button("okButton")->isEnabled();
        },
        30000))
        << text(chipSlots[0], ColumnRemark).toStdString();
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(chips_->chip(i).readFlash(kFlashStart, image.size()), image) << "chip " << i;
        EXPECT_STREQ(chips_->chip(i).board().mode, "application") << "chip " << i;
    }

    const std::string settingsPath = dialog_->settingsPath();
    dialog_->reject();  // closing saves
    const SavedSettings saved = readSettings(settingsPath);
    EXPECT_EQ(saved.bootEntry, "rts-reset");
    EXPECT_EQ(saved.bootExit, "rts-reset");
    DialogOptions options;
    options.settingsPath = settingsPath;
    options.startUpdateNotice = false;
    CPellionDlg next(options);
    EXPECT_EQ(next.StationBootSequences().entry,
              ParseBootSequence("rts-reset", BootRole::Entry).steps);
    EXPECT_EQ(next.StationBootSequences().exit,
              ParseBootSequence("rts-reset", BootRole::Exit).steps);
}

}  // namespace
}  // namespace pellion
