// The window in English: its own texts from our catalogue, the rows' texts from the engine's
// English table, through one real run on virtual chips.

#include <QLabel>

#include "WindowEndToEndFixture.h"
#include "app/WindowLanguage.h"
#include "support/HexFixtures.h"

namespace pellion::test {
namespace {

const QString kIdentifiedEn = QStringLiteral("Chip identified, ready for the next step");
const QString kStartedEn = QStringLiteral("Download complete, application started");

// With PELLION_SCREENSHOT_EN set to a file name, the window is saved there once the run is over
// (scripts/screenshot.sh does this under Xvfb for the documentation).
TEST_F(WindowEndToEndTest, InEnglishARunShowsEnglishRowTexts) {
    const WindowLanguage english(OperatorLanguage::English);
    language_ = OperatorLanguage::English;
    startWindow(3);
    chips_->chip(2).configure([](sim::ChipOptions& o) { o.faults.silentAfterCommands = 30; });
    const std::vector<int> chipSlots = {slotOfChip(0), slotOfChip(1), slotOfChip(2)};
    for (int slot : chipSlots)
        clickCheckBox(slot);
    ASSERT_TRUE(test::processEventsUntil(
        [&] {
            for (int slot : chipSlots) {
                if (text(slot, ColumnRemark) != kIdentifiedEn)
                    return false;
            }
            return true;
        },
        10000))
        << text(chipSlots[0], ColumnRemark).toStdString();

    test::TempFile file("app.bin", test::patternBytes(12000, 3));
    dialog_->findChild<QLineEdit*>("downloadFileEdit")
        ->setText(QString::fromStdString(file.path()));
    QTest::mouseClick(button("okButton"), Qt::LeftButton);
    ASSERT_TRUE(test::processEventsUntil([&] { return button("okButton")->isEnabled(); }, 30000))
        << text(chipSlots[2], ColumnRemark).toStdString();

    EXPECT_EQ(text(chipSlots[0], ColumnRemark), kStartedEn);
    EXPECT_EQ(text(chipSlots[1], ColumnRemark), kStartedEn);
    EXPECT_EQ(text(chipSlots[2], ColumnRemark), "Download failed: the chip did not answer");
    EXPECT_EQ(text(chipSlots[0], ColumnInit), "Y");
    EXPECT_EQ(dialog_->findChild<QLabel*>("runCountsText")->text(),
              "Succeeded: 2  Failed: 1  Running: 0");
    list_->clearSelection();  // the rows' own colours in the picture
    if (const QByteArray target = qgetenv("PELLION_SCREENSHOT_EN"); !target.isEmpty()) {
        EXPECT_TRUE(dialog_->grab().save(QString::fromLocal8Bit(target)));
    }
}

}  // namespace
}  // namespace pellion::test
