// Production mode in the real window: virtual chips swapped in their sockets as an operator
// (or the simulator's control endpoint) swaps them; the chips' flash and the counts agree.
#include <QCheckBox>
#include <QLabel>
#include <QRegularExpression>
#include <algorithm>

#include "WindowEndToEndFixture.h"
#include "support/HexFixtures.h"

namespace pellion::test {
namespace {

const QString kWaiting = QStringLiteral("等待芯片");

class WindowStationTest : public WindowEndToEndTest {
  protected:
    QString portTip(int slot) const {
        return list_->item(list_->RowOfSlot(slot), ColumnPort)->toolTip();
    }
    QString counts() const { return dialog_->findChild<QLabel*>("runCountsText")->text(); }
    // Chooses `item` from the context menu of the slot's row; returns the menu's texts.
    QStringList chooseOnRow(int slot, const QString& item) {
        QRect cell;
        list_->GetCellRect(list_->RowOfSlot(slot), ColumnRemark, cell);
        return test::chooseFromContextMenu(
            *dialog_, list_->viewport()->mapTo(dialog_.get(), cell.center()), item);
    }
    bool countsBecome(const QString& expected) {
        return test::processEventsUntil([&] { return counts() == expected; }, 30000);
    }
    int programmedOnce(std::size_t chip, const std::vector<std::uint8_t>& image) {
        auto all = chips_->chip(chip).retiredChips();
        all.push_back(chips_->chip(chip).snapshot());
        int count = 0;
        for (const auto& snapshot : all) {
            const auto flash = snapshot.fullFlash();
            // Programmed twice, a chip would count the image's bytes twice (0xFFFF half-words
            // of the image may not count at all).
            if (snapshot.stats.bytesProgrammed > 0 &&
                snapshot.stats.bytesProgrammed <= image.size() && flash.size() >= image.size() &&
                std::equal(image.begin(), image.end(), flash.begin())) {
                ++count;
            }
        }
        return count;
    }
};

TEST_F(WindowStationTest, ContinuousProgrammingCountsEveryChipSwappedInUntilCancelStopsIt) {
    startWindow(2);
    auto* continuous = dialog_->findChild<QCheckBox*>("continuousCheck");
    ASSERT_NE(continuous, nullptr);
    EXPECT_FALSE(continuous->isChecked()) << "unchecked at first start";
    continuous->setChecked(true);
    const std::vector<int> chipSlots{slotOfChip(0), slotOfChip(1)};
    tickAndIdentify(chipSlots);
    const auto image = test::patternBytes(3000, 5);
    test::TempFile file("app.bin", image);
    dialog_->findChild<QLineEdit*>("downloadFileEdit")
        ->setText(QString::fromStdString(file.path()));

    QTest::mouseClick(button("okButton"), Qt::LeftButton);
    EXPECT_EQ(button("okButton")->text(), "停止");
    EXPECT_TRUE(button("okButton")->isEnabled());
    ASSERT_TRUE(countsBecome("成功：2  失败：0  良率：100%")) << counts().toStdString();
    EXPECT_EQ(beeps_, 2) << "one beep for each chip that succeeded";
    // Started, the chips run their program and answer no more: the sockets look empty.
    ASSERT_TRUE(test::processEventsUntil(
        [&] {
            return text(chipSlots[0], ColumnRemark) == kWaiting &&
                   text(chipSlots[1], ColumnRemark) == kWaiting;
        },
        10000));

    chips_->chip(0).replace();
    ASSERT_TRUE(countsBecome("成功：3  失败：0  良率：100%")) << counts().toStdString();
    chips_->chip(1).configure([](sim::ChipOptions& o) { o.faults.badCellProbability = 1; });
    chips_->chip(1).replace();
    ASSERT_TRUE(countsBecome("成功：3  失败：1  良率：75%")) << counts().toStdString();
    EXPECT_TRUE(portTip(chipSlots[1]).contains("本工位成功：1  失败：1"))
        << portTip(chipSlots[1]).toStdString();
    EXPECT_TRUE(test::processEventsUntil([&] { return beeps_ == 5; }, 2000))
        << beeps_ << ": a failure is heard twice";
    EXPECT_EQ(programmedOnce(0, image), 2);
    EXPECT_EQ(programmedOnce(1, image), 1);
    // Held until taken away, the failed chip is not tried again by itself.
    const auto failedId = chips_->chip(1).uniqueId();
    test::processEventsUntil([] { return false; }, 3 * 250);
    EXPECT_EQ(counts(), "成功：3  失败：1  良率：75%");

    // Retried in place once its fault is gone: the same chip now holds the image.
    chips_->chip(1).configure([](sim::ChipOptions& o) { o.faults = {}; });
    EXPECT_TRUE(chooseOnRow(chipSlots[1], "重试(&R)").contains("重试(&R)"));
    ASSERT_TRUE(countsBecome("成功：4  失败：1  良率：80%")) << counts().toStdString();
    EXPECT_EQ(chips_->chip(1).uniqueId(), failedId);
    const auto flash = chips_->chip(1).snapshot().fullFlash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$")
                    .match(dialog_->findChild<QLabel*>("elapsedText")->text())
                    .hasMatch());

    chooseOnRow(chipSlots[0], "清零(&Z)");
    EXPECT_EQ(counts(), "成功：0  失败：0  良率：0%");
    EXPECT_TRUE(portTip(chipSlots[1]).contains("本工位成功：0  失败：0"));

    // Cancel asks, as during a run, then stops the station and closes every port.
    {
        test::ModalWatcher watcher(QMessageBox::Yes);
        QTest::mouseClick(button("cancelButton"), Qt::LeftButton);
        EXPECT_EQ(watcher.texts(), QStringList({"下载尚未完成,是否停止下载?"}));
    }
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_FALSE(dialog_->IsStationRunning());
    EXPECT_NE(test::fileContent(QString::fromStdString(dialog_->settingsPath()))
                  .find("ContinuousProgramming=1"),
              std::string::npos);
}

TEST_F(WindowStationTest, StopEndsTheStationOnceTheChipsAtWorkFinishAndNormalModeIsAsBefore) {
    startWindow(1);
    dialog_->findChild<QCheckBox*>("continuousCheck")->setChecked(true);
    const int slot = slotOfChip(0);
    tickAndIdentify({slot});
    const auto image = test::patternBytes(2000, 9);
    test::TempFile file("app.bin", image);
    dialog_->findChild<QLineEdit*>("downloadFileEdit")
        ->setText(QString::fromStdString(file.path()));
    QTest::mouseClick(button("okButton"), Qt::LeftButton);
    ASSERT_TRUE(countsBecome("成功：1  失败：0  良率：100%"));
    QTest::mouseClick(button("okButton"), Qt::LeftButton);  // "停止"
    ASSERT_TRUE(test::processEventsUntil([&] { return !dialog_->IsStationRunning(); }, 5000));
    EXPECT_EQ(button("okButton")->text(), "确定");
    chips_->chip(0).replace();
    test::processEventsUntil([] { return false; }, 800);
    EXPECT_EQ(programmedOnce(0, image), 1) << "a stopped station takes no chip";

    // Unchecked, OK is a normal run again, with its own counts.
    dialog_->findChild<QCheckBox*>("continuousCheck")->setChecked(false);
    clickCheckBox(slot);  // untick, then tick again: the new chip is identified
    tickAndIdentify({slot});
    QTest::mouseClick(button("okButton"), Qt::LeftButton);
    ASSERT_TRUE(test::processEventsUntil(
        [&] { return text(slot, ColumnRemark) == kStarted && button("okButton")->isEnabled(); },
        30000));
    EXPECT_EQ(counts(), "成功：1  失败：0  进行中：0");
    EXPECT_EQ(programmedOnce(0, image), 2);
}

}  // namespace
}  // namespace pellion::test
