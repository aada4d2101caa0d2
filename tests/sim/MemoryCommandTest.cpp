#include "ChipProtocolTest.h"

namespace pellion::test {
namespace {

using std::chrono::milliseconds;
constexpr std::uint32_t kFlash = 0x08000000;
constexpr std::uint32_t kOptions = 0x1FFFF800;

class MemoryCommandTest : public ChipProtocolTest {};

TEST_F(MemoryCommandTest, ReadsFlashOptionBytesAndSystemMemory) {
    start();
    const Bytes content = pattern(300);
    chip().loadFlash(kFlash + 0x400, content);
    synchronise();
    EXPECT_EQ(readMemory(kFlash + 0x400, 16), Bytes(content.begin(), content.begin() + 16));
    EXPECT_EQ(readMemory(kFlash + 0x400, 256), Bytes(content.begin(), content.begin() + 256));
    EXPECT_EQ(readMemory(kFlash + 0x400 + 256, 4),
              Bytes(content.begin() + 256, content.begin() + 260));
    EXPECT_EQ(readMemory(kOptions, 16), (Bytes{0xA5, 0x5A, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF,
                                               0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00}));
    EXPECT_EQ(readMemory(0x1FFFF7E0, 2), (Bytes{0x00, 0x01})) << "flash size 256 KiB";
    EXPECT_EQ(readMemory(kFlash + 256 * 1024 - 4, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(MemoryCommandTest, ReadRefusesBadFramesAndUnreadableAddresses) {
    start();
    synchronise();
    Bytes badChecksum = addressFrame(kFlash);
    badChecksum[4] ^= 0x01;
    EXPECT_EQ(exchange(command(0x11), 1), Bytes{kAck});
    EXPECT_EQ(exchange(badChecksum, 1), Bytes{kNack});

    EXPECT_EQ(readMemory(0x30000000, 4), Bytes{kNack});
    EXPECT_EQ(readMemory(kFlash + 256 * 1024, 4), Bytes{kNack}) << "just past the flash";
    EXPECT_EQ(readMemory(kFlash + 256 * 1024 - 2, 4), Bytes{kNack}) << "runs past the flash";
    EXPECT_EQ(readMemory(kOptions + 8, 16), Bytes{kNack}) << "runs past the option bytes";

    EXPECT_EQ(exchange(command(0x11), 1), Bytes{kAck});
    EXPECT_EQ(exchange(addressFrame(kFlash), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0x0F, 0x0F}, 1), Bytes{kNack}) << "count without its complement";
    // After every refusal the chip takes the next command.
    EXPECT_EQ(exchange(command(0x01), 5), (Bytes{kAck, 0x22, 0x00, 0x00, kAck}));
}

TEST_F(MemoryCommandTest, WritesFlashAndReadsItBack) {
    start();
    synchronise();
    const Bytes block = pattern(200, 9);
    EXPECT_EQ(writeMemory(kFlash + 0x100, block), kAck);
    EXPECT_EQ(chip().readFlash(kFlash + 0x100, 200), block);
    EXPECT_EQ(chip().readFlash(kFlash + 0xFC, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(chip().readFlash(kFlash + 0x100 + 200, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(readMemory(kFlash + 0x100, 200), block);
    // Flash programs only erased half-words: a rewrite is refused even with the same data, and
    // so is a block that overlaps programmed cells by one half-word.
    EXPECT_EQ(writeMemory(kFlash + 0x100, Bytes(block.begin(), block.begin() + 8)), kNack);
    EXPECT_EQ(writeMemory(kFlash + 0x100, Bytes(8, 0x00)), kNack);
    EXPECT_EQ(writeMemory(kFlash + 0x100 + 196, Bytes(8, 0x5A)), kNack);
    EXPECT_EQ(chip().readFlash(kFlash + 0x100, 200), block);
    EXPECT_EQ(chip().readFlash(kFlash + 0x100 + 200, 4), Bytes(4, 0xFF));
    EXPECT_EQ(chip().stats().bytesProgrammed, 200u);
}

TEST_F(MemoryCommandTest, WriteRefusesBadBlocksAndTargets) {
    start();
    synchronise();
    Bytes frame = dataFrame(pattern(8));
    frame.back() ^= 0x40;
    EXPECT_EQ(exchange(command(0x31), 1), Bytes{kAck});
    EXPECT_EQ(exchange(addressFrame(kFlash), 1), Bytes{kAck});
    EXPECT_EQ(exchange(frame, 1), Bytes{kNack}) << "bad checksum";

    EXPECT_EQ(writeMemory(kFlash, pattern(6)), kNack) << "6 bytes: not a multiple of 4";
    EXPECT_EQ(writeMemory(kFlash + 2, pattern(4)), kNack) << "unaligned address";
    EXPECT_EQ(writeMemory(0x20000000, pattern(4)), kNack) << "not flash or option bytes";
    EXPECT_EQ(writeMemory(kFlash + 256 * 1024 - 4, pattern(8)), kNack) << "runs past the end";
    EXPECT_EQ(writeMemory(kOptions + 4, pattern(4)), kNack) << "option bytes from their start only";
    EXPECT_EQ(chip().flash(), Bytes(256 * 1024, 0xFF)) << "nothing written by a refused write";
    EXPECT_EQ(writeMemory(kFlash + 256 * 1024 - 4, pattern(4)), kAck) << "the very last word";
}

TEST_F(MemoryCommandTest, OptionByteWriteRewritesAllSixteenAndResets) {
    start();
    synchronise();
    const Bytes options = {0xA5, 0x5A, 0x7F, 0x80, 0x12, 0xED, 0x34, 0xCB,
                           0xFE, 0x01, 0xFF, 0x00, 0xFF, 0x00, 0x7F, 0x80};
    EXPECT_EQ(writeMemory(kOptions, options), kAck);
    EXPECT_EQ(chip().stats().resets, 1u);
    const sim::OptionBytes stored = chip().optionBytes();
    EXPECT_EQ(Bytes(stored.begin(), stored.end()), options);
    EXPECT_EQ(chip().writeProtectionWord(), 0x7FFFFFFEu);
    // After the reset the chip waits for the sync byte again: a command is ignored.
    EXPECT_TRUE(exchangeAll(command(0x01)).empty());
    synchronise();
    EXPECT_EQ(readMemory(kOptions, 16), options);

    // A shorter write leaves the rest erased; an erased readout byte means protected.
    EXPECT_EQ(writeMemory(kOptions, {0xA5, 0x5A, 0xFF, 0x00}), kAck);
    synchronise();
    EXPECT_EQ(readMemory(kOptions, 16), (Bytes{0xA5, 0x5A, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                               0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(writeMemory(kOptions, {0xFF, 0x00, 0xFF, 0x00}), kAck);
    synchronise();
    EXPECT_TRUE(chip().readoutProtected());
    EXPECT_EQ(readMemory(kOptions, 16), Bytes{kNack});
}

TEST_F(MemoryCommandTest, StandardEraseErasesTheListedPagesOrEverything) {
    start();  // 256 KiB, 2 KiB pages, 128 pages
    chip().loadFlash(kFlash, Bytes(256 * 1024, 0x00));
    synchronise();
    EXPECT_EQ(exchange(command(0x44), 1), Bytes{kNack}) << "this chip has the standard erase only";
    EXPECT_EQ(exchange(command(0x43), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0x01, 0x01, 0x03, 0x01 ^ 0x01 ^ 0x03}, 1), Bytes{kAck});
    const Bytes flash = chip().flash();
    for (int page = 0; page < 128; ++page) {
        const bool erased = page == 1 || page == 3;
        EXPECT_EQ(flash[page * 2048], erased ? 0xFF : 0x00) << "page " << page;
        EXPECT_EQ(flash[page * 2048 + 2047], erased ? 0xFF : 0x00) << "page " << page;
    }
    EXPECT_EQ(chip().stats().busy.erasing, 2 * sim::ChipTiming{}.pageErase);

    EXPECT_EQ(exchange(command(0x43), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0x00, 0x05, 0x04}, 1), Bytes{kNack}) << "bad checksum";
    EXPECT_EQ(exchange(command(0x43), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0x01, 0x05, 0x80, 0x01 ^ 0x05 ^ 0x80}, 1), Bytes{kNack})
        << "page 128 does not exist";
    EXPECT_EQ(chip().flash()[5 * 2048], 0x00) << "a refused list erases nothing";

    EXPECT_EQ(exchange(command(0x43), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0xFF, 0x00}, 1), Bytes{kAck});
    EXPECT_EQ(chip().flash(), Bytes(256 * 1024, 0xFF));
}

TEST_F(MemoryCommandTest, ExtendedEraseUsesTwoBytePagesAndSpecialCodes) {
    sim::ChipOptions options;
    options.code = DeviceCode("1RGB");  // 1024 KiB: 256 pages of 2 KiB, then 4 KiB pages from 256
    start(options);
    const std::uint32_t size = 1024 * 1024;
    chip().loadFlash(kFlash, Bytes(size, 0x00));
    synchronise();
    EXPECT_EQ(exchange(command(0x43), 1), Bytes{kNack}) << "this chip has the extended erase only";
    EXPECT_EQ(exchange(command(0x44), 1), Bytes{kAck});
    // Pages 0, 255 and 256: n - 1 = 2.
    const Bytes list = {0x00, 0x02, 0x00, 0x00, 0x00, 0xFF, 0x01, 0x00};
    std::uint8_t checksum = 0;
    for (auto b : list)
        checksum ^= b;
    EXPECT_EQ(exchange(concat({list, {checksum}}), 1), Bytes{kAck});
    Bytes flash = chip().flash();
    EXPECT_EQ(flash[0], 0xFF);
    EXPECT_EQ(flash[2047], 0xFF);
    EXPECT_EQ(flash[2048], 0x00);
    EXPECT_EQ(flash[255 * 2048], 0xFF);
    EXPECT_EQ(flash[0x80000 - 1], 0xFF);
    EXPECT_EQ(flash[0x80000], 0xFF) << "page 256 is the 4 KiB page at 0x08080000";
    EXPECT_EQ(flash[0x80000 + 4095], 0xFF);
    EXPECT_EQ(flash[0x80000 + 4096], 0x00);

    EXPECT_EQ(exchange(command(0x44), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0x00, 0x00, 0x01, 0x80, 0x01 ^ 0x80}, 1), Bytes{kNack})
        << "page 384 is beyond 1024 KiB";

    // Bank 2 (from 0x08080000), then the whole flash.
    EXPECT_EQ(exchange(command(0x44), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0xFF, 0xFD, 0x02}, 1), Bytes{kAck});
    flash = chip().flash();
    EXPECT_EQ(flash[0x80000 - 4096], 0x00) << "bank 1 untouched";
    EXPECT_EQ(Bytes(flash.begin() + 0x80000, flash.end()), Bytes(size - 0x80000, 0xFF));
    EXPECT_EQ(exchange(command(0x44), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0xFF, 0xFF, 0x01}, 1), Bytes{kNack}) << "mass erase with a bad checksum";
    EXPECT_EQ(exchange(command(0x44), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0xFF, 0xFF, 0x00}, 1), Bytes{kAck});
    EXPECT_EQ(chip().flash(), Bytes(size, 0xFF));
}

TEST_F(MemoryCommandTest, SingleBankChipRefusesTheSecondBank) {
    sim::ChipOptions options;
    options.code = DeviceCode("5R8B");
    start(options);
    chip().loadFlash(kFlash, Bytes(64 * 1024, 0x00));
    synchronise();
    EXPECT_EQ(exchange(command(0x44), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0xFF, 0xFD, 0x02}, 1), Bytes{kNack});
    EXPECT_EQ(exchange(command(0x44), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0xFF, 0xFE, 0x01}, 1), Bytes{kAck});
    EXPECT_EQ(chip().flash(), Bytes(64 * 1024, 0xFF));
}

TEST_F(MemoryCommandTest, GoStartsTheApplicationWhichIgnoresTheBootloader) {
    sim::ChipOptions options;
    options.applicationText = "app alive";
    options.applicationInterval = milliseconds(5);
    start(options);
    synchronise();
    EXPECT_EQ(exchange(command(0x21), 1), Bytes{kAck});
    EXPECT_EQ(exchange(addressFrame(0x40000000), 1), Bytes{kNack}) << "nothing to run there";
    EXPECT_EQ(exchange(command(0x21), 1), Bytes{kAck});
    EXPECT_EQ(exchange(addressFrame(kFlash), 1), Bytes{kAck});
    EXPECT_EQ(chip().state(), sim::ChipState::Application);

    const Bytes printed = line().read(40, milliseconds(3000));
    const std::string text(printed.begin(), printed.end());
    EXPECT_EQ(text.substr(0, 11), "app alive\r\n");
    EXPECT_EQ(text.substr(11, 11), "app alive\r\n");
    // Sync bytes and commands are now just input to the application.
    line().write({0x7F, 0x00, 0xFF});
    const Bytes later = line().readUntilQuiet(milliseconds(100), milliseconds(500));
    EXPECT_EQ(std::count(later.begin(), later.end(), kAck), 0);
    EXPECT_EQ(chip().stats().syncs, 1u);

    // The reset button brings the bootloader back (and stops the printing).
    chip().reset();
    line().readUntilQuiet(milliseconds(50));
    synchronise();
    EXPECT_TRUE(line().readUntilQuiet(milliseconds(100)).empty());
}

TEST_F(MemoryCommandTest, SilentApplicationSendsNothing) {
    start();
    synchronise();
    EXPECT_EQ(exchange(concat({command(0x21)}), 1), Bytes{kAck});
    EXPECT_EQ(exchange(addressFrame(0x20000000), 1), Bytes{kAck}) << "RAM may be run too";
    EXPECT_TRUE(exchangeAll({0x7F}).empty());
}

}  // namespace
}  // namespace pellion::test
