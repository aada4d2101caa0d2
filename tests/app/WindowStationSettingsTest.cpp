// The station's block size and blank-block keys in the settings file reach the window's runs;
// a block size the chips cannot take refuses OK in words before any chip is touched.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "WindowEndToEndFixture.h"
#include "engine/RunControl.h"
#include "support/HexFixtures.h"

namespace pellion {
namespace {

using test::kFlashStart;
using test::kStarted;
using test::WindowEndToEndTest;

class WindowStationSettingsTest : public WindowEndToEndTest {
  protected:
    void writeSettingsFile(const std::string& text) {
        const std::filesystem::path file =
            portDir_.filePath("settings/KTZozOvConfig.ini").toStdString();
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    void clickOkWith(const test::TempFile& file) {
        dialog_->findChild<QLineEdit*>("downloadFileEdit")
            ->setText(QString::fromStdString(file.path()));
        QTest::mouseClick(button("okButton"), Qt::LeftButton);
    }
};

TEST_F(WindowStationSettingsTest, BlockSizeAndBlankBlocksComeFromTheSettingsFile) {
    // 256-byte blocks, blank ones sent too: 12 Write Memory commands for 3000 bytes, 5 of whose
    // blocks are all 0xFF.
    writeSettingsFile("[Config]\r\nWriteBlockSize=256\r\nSkipBlankBlocks=0\r\n");
    startWindow(1);
    const int slot = slotOfChip(0);
    tickAndIdentify({slot});
    auto image = test::patternBytes(3000, 5);
    std::fill(image.begin() + 512, image.begin() + 1792, 0xFF);
    const test::TempFile file("app.bin", image);
    clickOkWith(file);
    ASSERT_TRUE(test::processEventsUntil(
        [&] { return text(slot, ColumnRemark) == kStarted && button("okButton")->isEnabled(); },
        30000))
        << text(slot, ColumnRemark).toStdString();
    EXPECT_EQ(chips_->chip(0).readFlash(kFlashStart, image.size()), image);
    EXPECT_EQ(chips_->chip(0).stats().commandsNamed("writeMemory"), 12u);
}

TEST_F(WindowStationSettingsTest, ABlockSizeTheChipsCannotTakeRefusesOk) {
    writeSettingsFile("[Config]\r\nWriteBlockSize=202\r\n");
    startWindow(1);
    const int slot = slotOfChip(0);
    tickAndIdentify({slot});
    const test::TempFile file("app.bin", test::patternBytes(3000, 5));
    {
        test::ModalWatcher watcher;
        clickOkWith(file);
        ASSERT_EQ(watcher.seen().size(), 1u);
        EXPECT_EQ(watcher.seen()[0].caption, "KT MCU");
        EXPECT_EQ(watcher.seen()[0].text,
                  "配置文件中的写入块大小202无效,应为4的倍数且不大于256,请修改后重试!");
    }
    EXPECT_FALSE(dialog_->runControl().IsRunning());
    EXPECT_EQ(chips_->chip(0).stats().commandsNamed("extendedErase") +
                  chips_->chip(0).stats().commandsNamed("erase"),
              0u);
    EXPECT_EQ(text(slot, ColumnRemark), test::kIdentified);
}

}  // namespace
}  // namespace pellion
