#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <atomic>
#include <filesystem>
#include <thread>

#include "AppTestSupport.h"
#include "WindowEndToEndFixture.h"
#include "app/CPellionDlg.h"
#include "engine/RunControl.h"
#include "serial/CSerialPort.h"
#include "support/HexFixtures.h"
#include "support/VirtualChipFixture.h"
#include "ui/CInPlaceCombo.h"
#include "ui/CListCtrlEx.h"

namespace pellion {
namespace {

using test::kFlashStart;
using test::kIdentified;
using test::kStarted;
using test::WindowEndToEndTest;

TEST_F(WindowEndToEndTest, RowsOfTheListedPortsStartUntickedWithTheirDefaults) {
    startWindow(3);
    std::vector<int> chipSlots = {slotOfChip(0), slotOfChip(1), slotOfChip(2)};
    // The virtual chips follow any port of the machine itself, in their own order.
    EXPECT_EQ(chipSlots[1], chipSlots[0] + 1);
    EXPECT_EQ(chipSlots[2], chipSlots[0] + 2);
    EXPECT_EQ(list_->GetItemCount(), dialog_->portTable().slotCount());
    const DeviceCatalogue catalogue;
    QStringList partNames;
    for (const auto& name : catalogue.partNames())
        partNames << QString::fromStdString(name);
    for (int slot : chipSlots) {
        const int row = list_->RowOfSlot(slot);
        EXPECT_EQ(list_->GetItemText(row, ColumnNumber), QString::number(slot + 1));
        EXPECT_FALSE(ticked(slot));
        EXPECT_EQ(text(slot, ColumnBaud), "57600");
        EXPECT_EQ(list_->GetCell(row, ColumnBaud).items,
                  QStringList({"1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000",
                               "57600", "115200"}));
        EXPECT_EQ(text(slot, ColumnInit), "N");
        EXPECT_EQ(text(slot, ColumnModel), "");
        EXPECT_EQ(list_->GetCell(row, ColumnModel).items, partNames);
        EXPECT_EQ(
            dialog_->portTable().slot(slot).devicePath,
            portDir_.filePath(QStringLiteral("chip%1").arg(slot - chipSlots[0])).toStdString());
        EXPECT_FALSE(dialog_->portTable().slot(slot).ports.IsOpen());  // nothing opens at start
    }
    EXPECT_EQ(list_->options & 3u, 3u);
    EXPECT_EQ(list_->GetColumnCount(), 8);
    EXPECT_EQ(list_->horizontalHeaderItem(ColumnProgress)->text(), "完成状态");
}

TEST_F(WindowEndToEndTest, FourChipsAreProgrammedFromTickToJump) {
    startWindow(4);
    ASSERT_TRUE(dialog_->findChild<QCheckBox*>("verifyCheck")->isChecked());  // first start
    std::vector<int> chipSlots;
    for (std::size_t i = 0; i < 4; ++i)
        chipSlots.push_back(slotOfChip(i));
    tickAndIdentify(chipSlots);
    for (int slot : chipSlots) {
        EXPECT_EQ(text(slot, ColumnInit), "Y");
        EXPECT_FALSE(text(slot, ColumnModel).isEmpty());
    }

    const auto image = test::patternBytes(5000, 7);
    test::TempFile file("app.bin", image);
    dialog_->findChild<QLineEdit*>("downloadFileEdit")
        ->setText(QString::fromStdString(file.path()));
    dialog_->activateWindow();
    button("okButton")->setFocus();
    QTest::mouseClick(button("okButton"), Qt::LeftButton);
    EXPECT_FALSE(button("okButton")->isEnabled());  // a run is going
    EXPECT_EQ(dialog_->findChild<QLabel*>("runCountsText")->text(), "成功：0  失败：0  进行中：4");

    ASSERT_TRUE(test::processEventsUntil(
        [&] {
            for (int slot : chipSlots) {
                if (text(slot, ColumnRemark) != kStarted)
                    return false;
            }
            return button("okButton")->isEnabled();
        },
        30000))
        << text(chipSlots[0], ColumnRemark).toStdString();

    for (std::size_t i = 0; i < 4; ++i) {
        const ListCtrlEx::CellInfo* progress = list_->GetSlotCell(chipSlots[i], ColumnProgress);
        EXPECT_GT(progress->progressMax, 0u);
        EXPECT_GE(progress->progressPos, progress->progressMax) << "row not at 100%";
        EXPECT_EQ(progress->progressFill, QColor(40, 160, 60)) << "finished rows are green";
        EXPECT_EQ(chips_->chip(i).readFlash(kFlashStart, image.size()), image) << "chip " << i;
        EXPECT_GT(chips_->chip(i).stats().commands.at("readMemory"), 1u) << "not verified";
    }
    EXPECT_EQ(dialog_->findChild<QLabel*>("runCountsText")->text(), "成功：4  失败：0  进行中：0");
    // Enter after the run never lands on Cancel and ends the program.
    EXPECT_FALSE(button("cancelButton")->hasFocus());
    EXPECT_TRUE(button("okButton")->hasFocus());
    const QString elapsed = dialog_->findChild<QLabel*>("elapsedText")->text();
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(elapsed).hasMatch())
        << elapsed.toStdString();
}

TEST_F(WindowEndToEndTest, VerifyBoxMakesEveryChipBeReadBack) {
    startWindow(2);
    // Chip 1 acknowledges every write but its flash keeps a flipped bit.
    chips_->chip(1).configure([](sim::ChipOptions& o) { o.faults.badCellProbability = 1.0; });
    const std::vector<int> chipSlots = {slotOfChip(0), slotOfChip(1)};
    tickAndIdentify(chipSlots);

    ASSERT_TRUE(dialog_->findChild<QCheckBox*>("verifyCheck")->isChecked());
    const auto image = test::patternBytes(3000, 3);
    test::TempFile file("app.bin", image);
    dialog_->findChild<QLineEdit*>("downloadFileEdit")
        ->setText(QString::fromStdString(file.path()));
    QTest::mouseClick(button("okButton"), Qt::LeftButton);
    ASSERT_TRUE(test::processEventsUntil(
        [&] {
            return text(chipSlots[0], ColumnRemark) == kStarted && button("okButton")->isEnabled();
        },
        30000))
        << text(chipSlots[0], ColumnRemark).toStdString();

    EXPECT_EQ(chips_->chip(0).readFlash(kFlashStart, image.size()), image);
    const QString failure = text(chipSlots[1], ColumnRemark);
    EXPECT_TRUE(failure.contains("校验失败")) << failure.toStdString();
    EXPECT_TRUE(failure.contains("0x080")) << failure.toStdString();  // names the address
    EXPECT_NE(chips_->chip(1).state(), sim::ChipState::Application);  // never started
}

// A mixed batch: chip 0 names itself, chip 1 does not. A model chosen by hand is for chip 1;
// chip 0 treated as a chip of other pages would have only part of its image erased.
TEST_F(WindowEndToEndTest, AModelChosenByHandAppliesOnlyToChipsThatDidNotNameThemselves) {
    startWindow(2);
    chips_->chip(1).configure([](sim::ChipOptions& o) { o.deviceCodeCommand = false; });
    const std::vector<int> chipSlots = {slotOfChip(0), slotOfChip(1)};
    for (int slot : chipSlots)
        clickCheckBox(slot);
    ASSERT_TRUE(test::processEventsUntil(
        [&] {
            return text(chipSlots[0], ColumnRemark) == kIdentified &&
                   text(chipSlots[1], ColumnRemark) == "请手动为该芯片选择正确的型号";
        },
        10000))
        << text(chipSlots[1], ColumnRemark).toStdString();
    EXPECT_EQ(text(chipSlots[0], ColumnModel), "KTM1RCB-0256");

    const auto image = test::patternBytes(5000, 5);
    test::TempFile file("app.bin", image);
    dialog_->findChild<QLineEdit*>("downloadFileEdit")
        ->setText(QString::fromStdString(file.path()));
    {
        test::ModalWatcher watcher;
        QTest::mouseClick(button("okButton"), Qt::LeftButton);
        ASSERT_EQ(watcher.seen().size(), 1u);
        EXPECT_EQ(watcher.seen()[0].caption, "KT MCU");
        EXPECT_EQ(watcher.seen()[0].text, "chip1芯片请选择型号!");
    }
    EXPECT_EQ(chips_->chip(0).stats().commands.count("readMemory"), 0u) << "run started";

    {
        test::ModalWatcher watcher;
        chooseInPlace(chipSlots[0], ColumnModel, QStringLiteral("KTM0C4A-0016"));  // 1 KiB pages
        ASSERT_EQ(watcher.seen().size(), 1u);
        EXPECT_EQ(watcher.seen()[0].caption, "KT MCU");
        EXPECT_EQ(watcher.seen()[0].text, "chip0芯片已识别为KTM1RCB-0256,不能选择其他型号!");
        EXPECT_EQ(text(chipSlots[0], ColumnModel), "KTM1RCB-0256");
        // A part of the same pages and size, and the chip that is waiting for its model, are
        // taken as chosen.
        chooseInPlace(chipSlots[0], ColumnModel, QStringLiteral("KTM3RCB-0256"));
        chooseInPlace(chipSlots[1], ColumnModel, QStringLiteral("KTM1RCB-0256"));
        EXPECT_EQ(watcher.seen().size(), 1u);
    }
    EXPECT_EQ(text(chipSlots[0], ColumnModel), "KTM3RCB-0256");
    EXPECT_EQ(text(chipSlots[1], ColumnModel), "KTM1RCB-0256");

    QTest::mouseClick(button("okButton"), Qt::LeftButton);
    ASSERT_TRUE(test::processEventsUntil(
        [&] {
            return text(chipSlots[0], ColumnRemark) == kStarted &&
                   text(chipSlots[1], ColumnRemark) == kStarted;
        },
        30000))
        << text(chipSlots[0], ColumnRemark).toStdString();
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(chips_->chip(i).readFlash(kFlashStart, image.size()), image) << "chip " << i;
}

TEST_F(WindowEndToEndTest, ChipsThatFailMidRunShowTheirFailureAndTheRunStillEnds) {
    startWindow(3);
    chips_->chip(1).configure([](sim::ChipOptions& o) { o.faults.silentAfterCommands = 30; });
    chips_->chip(2).configure([](sim::ChipOptions& o) { o.faults.disconnectAfterBytes = 3000; });
    const std::vector<int> chipSlots = {slotOfChip(0), slotOfChip(1), slotOfChip(2)};
    tickAndIdentify(chipSlots);

    const auto image = test::patternBytes(12000, 9);
    test::TempFile file("app.bin", image);
    dialog_->findChild<QLineEdit*>("downloadFileEdit")
        ->setText(QString::fromStdString(file.path()));
    QTest::mouseClick(button("okButton"), Qt::LeftButton);
    ASSERT_FALSE(button("okButton")->isEnabled());
    ASSERT_TRUE(test::processEventsUntil([&] { return button("okButton")->isEnabled(); }, 30000))
        << text(chipSlots[1], ColumnRemark).toStdString();

    EXPECT_EQ(text(chipSlots[0], ColumnRemark), kStarted);
    EXPECT_EQ(chips_->chip(0).readFlash(kFlashStart, image.size()), image);
    const QString silent = text(chipSlots[1], ColumnRemark);
    const QString unplugged = text(chipSlots[2], ColumnRemark);
    EXPECT_TRUE(silent.startsWith("下载失败") && silent.contains("芯片无应答"))
        << silent.toStdString();
    EXPECT_TRUE(unplugged.contains("串口已断开")) << unplugged.toStdString();
    for (int failed : {chipSlots[1], chipSlots[2]}) {
        const auto* progress = list_->GetSlotCell(failed, ColumnProgress);
        EXPECT_LT(progress->progressPos, progress->progressMax) << "a failed row shows 100%";
        EXPECT_EQ(progress->progressFill, QColor(210, 40, 40)) << "failed rows are red";
    }
    EXPECT_EQ(dialog_->findChild<QLabel*>("runCountsText")->text(), "成功：1  失败：2  进行中：0");
    EXPECT_NE(chips_->chip(1).readFlash(kFlashStart, image.size()), image);
}

TEST_F(WindowEndToEndTest, APortOpensAtItsRowsBaudWithTheIntervalOfThatMoment) {
    startWindow(2);
    const int slot = slotOfChip(0);
    list_->SetSlotText(slot, ColumnBaud, QStringLiteral("115200"));
    auto* combo = dialog_->findChild<QComboBox*>("intervalCombo");
    combo->setEditText(QStringLiteral("7"));
    tickAndIdentify({slot});
    const CSerialPort& port = dialog_->portTable().slot(slot).ports;
    EXPECT_EQ(port.Baud(), 115200u);
    EXPECT_EQ(port.writePause, 7u);

    // A later change of the interval waits for the next opening.
    combo->setEditText(QStringLiteral("20"));
    EXPECT_EQ(port.writePause, 7u);
    clickCheckBox(slot);
    tickAndIdentify({slot});
    EXPECT_EQ(dialog_->portTable().slot(slot).ports.writePause, 20u);

    // A pause beyond the longest one is said, and the box shows the pause the port gets.
    clickCheckBox(slot);
    combo->setEditText(QStringLiteral("90000"));
    {
        test::ModalWatcher watcher;
        clickCheckBox(slot);
        EXPECT_EQ(watcher.texts(), QStringList({"下载间隔不能大于60000ms,已改为60000ms!"}));
    }
    EXPECT_EQ(combo->currentText(), "60000");
    EXPECT_EQ(dialog_->portTable().slot(slot).ports.writePause, 60000u);
}

TEST_F(WindowEndToEndTest, BaudChosenInPlaceWithEnterNeitherPressesOkNorClosesTheWindow) {
    startWindow(1);
    const int slot = slotOfChip(0);
    QSignalSpy okClicks(button("okButton"), &QPushButton::clicked);
    QRect cell;
    ASSERT_TRUE(list_->GetCellRect(list_->RowOfSlot(slot), ColumnBaud, cell));
    QTest::mouseClick(list_->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    auto* combo = ListCtrlEx::CInPlaceCombo::GetInPlaceCombo();
    ASSERT_TRUE(test::processEventsUntil([&] { return combo->IsOpen(); }, 2000));
    combo->setCurrentIndex(combo->findText(QStringLiteral("115200")));
    QTest::keyClick(combo, Qt::Key_Return);
    test::processEventsUntil([&] { return !combo->IsOpen(); }, 2000);

    EXPECT_EQ(text(slot, ColumnBaud), "115200");
    EXPECT_EQ(okClicks.count(), 0);
    EXPECT_TRUE(dialog_->isVisible());
    tickAndIdentify({slot});
    EXPECT_EQ(dialog_->portTable().slot(slot).ports.Baud(), 115200u);

    // On a ticked row the port opens again at the new rate and the chip is identified anew.
    const auto commands = chips_->chip(0).stats().commandCount();
    chooseInPlace(slot, ColumnBaud, QStringLiteral("9600"));
    EXPECT_TRUE(ticked(slot));
    EXPECT_EQ(dialog_->portTable().slot(slot).ports.Baud(), 9600u);
    ASSERT_TRUE(test::processEventsUntil([&] { return text(slot, ColumnRemark) == kIdentified; }))
        << text(slot, ColumnRemark).toStdString();
    EXPECT_GT(chips_->chip(0).stats().commandCount(), commands);
    EXPECT_EQ(okClicks.count(), 0);
}

TEST_F(WindowEndToEndTest, UntickClosesThePortAndResetsTheRowTexts) {
    startWindow(2);
    const int slot = slotOfChip(1);
    tickAndIdentify({slot});
    EXPECT_TRUE(dialog_->portTable().slot(slot).ports.IsOpen());
    list_->SetSlotProgressMax(slot, ColumnProgress, 50);  // kept by the untick

    clickCheckBox(slot);
    EXPECT_FALSE(ticked(slot));
    EXPECT_FALSE(dialog_->portTable().slot(slot).ports.IsOpen());
    EXPECT_EQ(text(slot, ColumnInit), "N");
    EXPECT_EQ(text(slot, ColumnReadable), "");
    EXPECT_EQ(text(slot, ColumnModel), "");
    EXPECT_EQ(text(slot, ColumnRemark), "");
    EXPECT_EQ(text(slot, ColumnPort), "chip1");
    EXPECT_EQ(text(slot, ColumnBaud), "57600");
    EXPECT_EQ(list_->GetSlotCell(slot, ColumnProgress)->progressMax, 50u);

    // The port is free again: another tick identifies the chip once more.
    tickAndIdentify({slot});
}

TEST_F(WindowEndToEndTest, RefreshWhilePortsAreOpenClosesThemAndRebuildsTheRows) {
    startWindow(3);
    const std::vector<int> chipSlots = {slotOfChip(0), slotOfChip(2)};
    tickAndIdentify(chipSlots);
    const int rowsBefore = list_->GetItemCount();

    QTest::mouseClick(button("refreshButton"), Qt::LeftButton);
    EXPECT_EQ(list_->GetItemCount(), rowsBefore);
    for (int slot = 0; slot < dialog_->portTable().slotCount(); ++slot) {
        EXPECT_FALSE(ticked(slot));
        EXPECT_FALSE(dialog_->portTable().slot(slot).ports.IsOpen());
        EXPECT_EQ(text(slot, ColumnInit), "N");
        EXPECT_EQ(text(slot, ColumnRemark), "");
    }
    // The rebuilt rows drive the rebuilt chipSlots.
    tickAndIdentify({slotOfChip(2)});
}

TEST_F(WindowEndToEndTest, RefreshInTheMiddleOfARunEndsItAndGivesOkBack) {
    sim::ChipOptions realistic;
    realistic.timing.enabled = true;
    startWindow(3, realistic);
    tickAndIdentify({slotOfChip(0), slotOfChip(1)});
    test::TempFile file("app.bin", test::patternBytes(40000, 4));
    dialog_->findChild<QLineEdit*>("downloadFileEdit")
        ->setText(QString::fromStdString(file.path()));
    QTest::mouseClick(button("okButton"), Qt::LeftButton);
    ASSERT_TRUE(test::processEventsUntil(
        [&] { return list_->GetSlotCell(slotOfChip(1), ColumnProgress)->progressPos > 0; }, 30000));
    ASSERT_FALSE(button("okButton")->isEnabled());

    {
        test::ModalWatcher watcher(QMessageBox::Yes);
        QTest::mouseClick(button("refreshButton"), Qt::LeftButton);
        EXPECT_EQ(watcher.texts(), QStringList({"下载尚未完成,是否停止下载?"}));
    }
    EXPECT_TRUE(button("okButton")->isEnabled());
    EXPECT_FALSE(dialog_->runControl().IsRunning());
    for (int slot = 0; slot < dialog_->portTable().slotCount(); ++slot) {
        EXPECT_FALSE(ticked(slot));
        EXPECT_FALSE(dialog_->portTable().slot(slot).ports.IsOpen());
        EXPECT_EQ(text(slot, ColumnRemark), "");
    }
    // The rebuilt rows run a chip from the start. (An interrupted chip may still be inside a
    // frame and need a second tick to answer its device code, so a fresh one is taken.)
    const int slot = slotOfChip(2);
    tickAndIdentify({slot});
    {
        test::ModalWatcher watcher;
        QTest::mouseClick(button("okButton"), Qt::LeftButton);
        EXPECT_EQ(watcher.texts(), QStringList());
    }
    EXPECT_FALSE(button("okButton")->isEnabled());
    EXPECT_TRUE(test::processEventsUntil(
        [&] { return text(slot, ColumnRemark) == "正在下载....."; }, 30000))
        << text(slot, ColumnRemark).toStdString();
}

TEST_F(WindowEndToEndTest, APortHeldElsewhereIsReportedAndUnticked) {
    startWindow(2);
    const int slot = slotOfChip(0);
    const int held = ::open(chips_->devicePath(0).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    {
        test::ModalWatcher watcher;
        clickCheckBox(slot);
        ASSERT_EQ(watcher.seen().size(), 1u);
        EXPECT_EQ(watcher.seen()[0].caption, "KT MCU");
        EXPECT_EQ(watcher.seen()[0].text, "串口被占用!");
    }
    EXPECT_FALSE(ticked(slot));
    EXPECT_FALSE(dialog_->portTable().slot(slot).ports.IsOpen());
    ::close(held);
    tickAndIdentify({slot});
}

TEST_F(WindowEndToEndTest, SortingKeepsEveryRowWithItsOwnPort) {
    startWindow(4);
    // Descending by port name: the chips' rows turn round, their slots stay.
    const int slot3 = slotOfChip(3);
    ASSERT_EQ(list_->RowOfSlot(slot3), slot3);
    list_->horizontalHeader()->sectionClicked(ColumnPort);
    ASSERT_LT(list_->RowOfSlot(slot3), list_->RowOfSlot(slotOfChip(0)));
    ASSERT_NE(list_->RowOfSlot(slot3), slot3);
    const int row3 = list_->RowOfSlot(slot3);
    EXPECT_EQ(list_->GetItemText(row3, ColumnPort), "chip3");

    tickAndIdentify({slot3});
    EXPECT_EQ(list_->GetItemText(row3, ColumnRemark), kIdentified);
    EXPECT_EQ(list_->GetItemText(row3, ColumnInit), "Y");
    EXPECT_TRUE(dialog_->portTable().slot(slot3).ports.IsOpen());
    // Only chip 3 heard anything.
    EXPECT_GT(chips_->chip(3).stats().syncs, 0u);
    for (std::size_t other = 0; other < 3; ++other) {
        EXPECT_EQ(chips_->chip(other).stats().syncs, 0u) << "chip " << other;
        EXPECT_FALSE(dialog_->portTable().slot(slotOfChip(other)).ports.IsOpen());
        EXPECT_EQ(text(slotOfChip(other), ColumnRemark), "");
    }
}

// Chips that take the time real ones take, so that the window can be seen in the middle of a
// run; one of them fails early. With PELLION_SCREENSHOT set to a file name, the window is saved
// there at that moment (scripts/screenshot.sh does this under Xvfb for the documentation).
TEST_F(WindowEndToEndTest, MidRunTheRowsShowTheirProgressAndNoStrayKeyEndsTheRun) {
    sim::ChipOptions realistic;
    realistic.timing.enabled = true;
    startWindow(4, realistic);
    chips_->chip(3).configure([](sim::ChipOptions& o) { o.faults.silentAfterCommands = 45; });
    std::vector<int> chipSlots;
    for (std::size_t i = 0; i < 4; ++i)
        chipSlots.push_back(slotOfChip(i));
    tickAndIdentify(chipSlots);
    const std::vector<int> going(chipSlots.begin(), chipSlots.begin() + 3);

    test::TempFile file("firmware.hex", test::makeHexText(kFlashStart, test::patternBytes(40000)));
    dialog_->findChild<QLineEdit*>("downloadFileEdit")
        ->setText(QString::fromStdString(file.path()));
    QTest::mouseClick(button("okButton"), Qt::LeftButton);

    auto fraction = [&](int slot) {
        const auto* cell = list_->GetSlotCell(slot, ColumnProgress);
        return cell->progressMax == 0 ? 0.0 : double(cell->progressPos) / cell->progressMax;
    };
    const QString failed = QStringLiteral("下载失败");
    ASSERT_TRUE(test::processEventsUntil(
        [&] {
            for (int slot : going) {
                if (fraction(slot) < 0.2)
                    return false;
            }
            return text(chipSlots[3], ColumnRemark).startsWith(failed);
        },
        30000))
        << text(chipSlots[3], ColumnRemark).toStdString();
    for (int slot : going) {
        EXPECT_LT(fraction(slot), 1.0) << "the run should still be going";
        EXPECT_EQ(text(slot, ColumnRemark), "正在下载.....");
    }
    EXPECT_EQ(list_->GetSlotCell(chipSlots[3], ColumnProgress)->progressFill, QColor(210, 40, 40));
    EXPECT_EQ(dialog_->findChild<QLabel*>("runCountsText")->text(), "成功：0  失败：1  进行中：3");
    EXPECT_FALSE(button("okButton")->isEnabled());
    EXPECT_FALSE(dialog_->findChild<QLabel*>("elapsedText")->text().isEmpty());

    list_->clearSelection();  // the rows' own colours in the picture
    const QPixmap picture = dialog_->grab();
    EXPECT_EQ(picture.size(), dialog_->size());
    if (const QByteArray target = qgetenv("PELLION_SCREENSHOT"); !target.isEmpty()) {
        EXPECT_TRUE(picture.save(QString::fromLocal8Bit(target)));
    }

    // Every way out asks first; No (the default) keeps every slot running.
    {
        test::ModalWatcher watcher;
        QTest::mouseClick(button("cancelButton"), Qt::LeftButton);
        QTest::keyClick(dialog_.get(), Qt::Key_Escape);
        button("cancelButton")->setFocus();
        QTest::keyClick(button("cancelButton"), Qt::Key_Return);
        EXPECT_FALSE(dialog_->close());
        QTest::mouseClick(button("refreshButton"), Qt::LeftButton);
        ASSERT_EQ(watcher.seen().size(), 5u);
        for (const auto& seen : watcher.seen()) {
            EXPECT_EQ(seen.caption, "KT MCU");
            EXPECT_EQ(seen.text, "下载尚未完成,是否停止下载?");
        }
    }
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_TRUE(dialog_->runControl().IsRunning());
    std::vector<double> before;
    for (int slot : going) {
        EXPECT_TRUE(dialog_->portTable().slot(slot).ports.IsOpen());
        EXPECT_EQ(dialog_->portTable().slot(slot).result.outcome, SlotOutcome::Running);
        EXPECT_EQ(text(slot, ColumnRemark), "正在下载.....");
        before.push_back(fraction(slot));
    }
    ASSERT_TRUE(test::processEventsUntil(
        [&] {
            for (std::size_t i = 0; i < going.size(); ++i) {
                if (fraction(going[i]) <= before[i])
                    return false;
            }
            return true;
        },
        10000))
        << "the run stood still";

    // A baud cell does not open under a run: its port would be reopened beneath the chip.
    QRect baud;
    ASSERT_TRUE(list_->GetCellRect(list_->RowOfSlot(going[0]), ColumnBaud, baud));
    QTest::mouseClick(list_->viewport(), Qt::LeftButton, Qt::NoModifier, baud.center());
    test::processEventsUntil([] { return false; }, 100);
    EXPECT_FALSE(ListCtrlEx::CInPlaceCombo::GetInPlaceCombo()->IsOpen());

    // Yes ends the run: every port closes, nothing hangs.
    {
        test::ModalWatcher watcher(QMessageBox::Yes);
        QTest::mouseClick(button("cancelButton"), Qt::LeftButton);
        EXPECT_EQ(watcher.seen().size(), 1u);
    }
    EXPECT_FALSE(dialog_->isVisible());
    for (int slot = 0; slot < dialog_->portTable().slotCount(); ++slot) {
        EXPECT_FALSE(dialog_->portTable().slot(slot).ports.IsOpen());
    }
    EXPECT_FALSE(dialog_->portTable().built());
}

TEST_F(WindowEndToEndTest, SerialErrorsFromAnyThreadAreModalBoxesOnTheWindowThread) {
    startWindow(1);
    test::ModalWatcher watcher;
    std::atomic<bool> returned{false};
    std::thread monitor([&] {
        dialog_->runControl().ShowSerialError("Application Error",
                                              serialError("read()", "I/O error", 1, "chip0"));
        returned = true;
    });
    ASSERT_TRUE(test::processEventsUntil([&] { return returned.load(); }));
    monitor.join();
    ASSERT_EQ(watcher.seen().size(), 1u);
    EXPECT_EQ(watcher.seen()[0].caption, "Application Error");
    EXPECT_EQ(watcher.seen()[0].text,
              "WARNING:  read() Failed with the following error: \nI/O error\nPort: 1 (chip0)\n");

    // From the window thread itself the box is shown directly.
    dialog_->runControl().ShowSerialError("KT MCU", OperatorText(TextId::ReceiveProblem));
    ASSERT_EQ(watcher.seen().size(), 2u);
    EXPECT_EQ(watcher.seen()[1].text, "接收有问题!");
}

}  // namespace
}  // namespace pellion
