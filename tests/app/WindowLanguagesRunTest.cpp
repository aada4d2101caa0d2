// The window in each language: its own texts from our catalogue (or as written), the rows'
// texts from the engine's table of that language, through the same real run on virtual chips.

#include <QLabel>

#include "AppTestSupport.h"
#include "WindowEndToEndFixture.h"
#include "app/WindowLanguage.h"
#include "engine/RunControl.h"
#include "support/HexFixtures.h"

namespace pellion::test {
namespace {

struct RunTexts {
    QString identified, started, silent, counts;
    const char* screenshotVariable;
};

class WindowLanguagesRun : public WindowEndToEndTest {
  protected:
    void runThreeChips(const RunTexts& expected);
};

// Three chips, the third of which stops answering mid-run. With the screenshot variable set to
// a file name, the window is saved there once the run is over (scripts/screenshot.sh does this
// under Xvfb for the documentation).
void WindowLanguagesRun::runThreeChips(const RunTexts& expected) {
    startWindow(3);
    if (HasFatalFailure())
        return;
    chips_->chip(2).configure([](sim::ChipOptions& o) { o.faults.silentAfterCommands = 30; });
    const std::vector<int> chipSlots = {slotOfChip(0), slotOfChip(1), slotOfChip(2)};
    for (int slot : chipSlots)
        clickCheckBox(slot);
    ASSERT_TRUE(processEventsUntil(
        [&] {
            for (int slot : chipSlots) {
                if (text(slot, ColumnRemark) != expected.identified)
                    return false;
            }
            return true;
        },
        10000))
        << text(chipSlots[0], ColumnRemark).toStdString();

    TempFile file("app.bin", patternBytes(12000, 3));
    dialog_->findChild<QLineEdit*>("downloadFileEdit")
        ->setText(QString::fromStdString(file.path()));
    QTest::mouseClick(button("okButton"), Qt::LeftButton);
    ASSERT_TRUE(processEventsUntil([&] { return button("okButton")->isEnabled(); }, 30000))
        << text(chipSlots[2], ColumnRemark).toStdString();

    EXPECT_EQ(text(chipSlots[0], ColumnRemark), expected.started);
    EXPECT_EQ(text(chipSlots[1], ColumnRemark), expected.started);
    EXPECT_EQ(text(chipSlots[2], ColumnRemark), expected.silent);
    EXPECT_EQ(text(chipSlots[0], ColumnInit), "Y");
    EXPECT_EQ(dialog_->findChild<QLabel*>("runCountsText")->text(), expected.counts);
    list_->clearSelection();  // the rows' own colours in the picture
    if (const QByteArray target = qgetenv(expected.screenshotVariable); !target.isEmpty()) {
        EXPECT_TRUE(dialog_->grab().save(QString::fromLocal8Bit(target)));
    }
}

TEST_F(WindowLanguagesRun, InEnglishARunShowsEnglishRowTexts) {
    const WindowLanguage english(OperatorLanguage::English);
    language_ = OperatorLanguage::English;
    runThreeChips({"Chip identified, ready for the next step",
                   "Download complete, application started",
                   "Download failed: the chip did not answer",
                   "Succeeded: 2  Failed: 1  Running: 0", "PELLION_SCREENSHOT_EN"});
}

TEST_F(WindowLanguagesRun, InChineseTheSameRunShowsChineseRowTexts) {
    const WindowLanguage chinese(OperatorLanguage::Chinese);
    runThreeChips({"识别设备成功,可以进行下一步操作", "下载完成后成功跳转", "下载失败,芯片无应答",
                   "成功：2  失败：1  进行中：0", "PELLION_SCREENSHOT_ZH"});
}

// The core's refusals and the serial layer's faults reach the window as identifiers; it words
// them in its own language.
TEST_F(WindowEndToEndTest, InEnglishTheCoreMessagesAreEnglish) {
    const WindowLanguage english(OperatorLanguage::English);
    language_ = OperatorLanguage::English;
    startWindow(1);
    const int slot = slotOfChip(0);
    clickCheckBox(slot);
    ASSERT_TRUE(processEventsUntil(
        [&] { return text(slot, ColumnRemark) == "Chip identified, ready for the next step"; },
        10000));
    ModalWatcher watcher;
    const std::string missing = "/nonexistent/app.bin";
    dialog_->findChild<QLineEdit*>("downloadFileEdit")->setText(QString::fromStdString(missing));
    QTest::mouseClick(button("okButton"), Qt::LeftButton);
    dialog_->runControl().ShowSerialError("KT MCU", OperatorText(TextId::ReceiveProblem));
    ASSERT_EQ(watcher.seen().size(), 2u);
    EXPECT_EQ(watcher.seen()[0].text,
              QString::fromStdString("The download file " + missing + " does not exist."));
    EXPECT_EQ(watcher.seen()[1].text, "Problem receiving data.");
}

}  // namespace
}  // namespace pellion::test
