#include "ChipProtocolTest.h"

namespace pellion::test {
namespace {

constexpr std::uint32_t kFlash = 0x08000000;
constexpr std::uint32_t kOptions = 0x1FFFF800;

class ProtectionTest : public ChipProtocolTest {};

TEST_F(ProtectionTest, ReadoutProtectedChipRefusesMemoryAccessButIdentifies) {
    sim::ChipOptions options;
    options.readoutProtected = true;
    options.initialFlash = pattern(4096);
    start(options);
    synchronise();
    EXPECT_EQ(exchange(command(0x00), 16).size(), 16u);
    EXPECT_EQ(exchange(command(0x01), 5), (Bytes{kAck, 0x22, 0x00, 0x00, kAck}));
    EXPECT_EQ(exchange(command(0x02), 5).size(), 5u);
    EXPECT_EQ(exchange(command(0x06), 7), (Bytes{kAck, 0x03, '1', 'R', 'C', 'B', kAck}));
    for (std::uint8_t code : {0x11, 0x31, 0x21, 0x43, 0x63, 0x73, 0x82})
        EXPECT_EQ(exchange(command(code), 1), Bytes{kNack}) << "command " << int(code);
    EXPECT_EQ(exchange(command(0x44), 1), Bytes{kNack});
    EXPECT_EQ(chip().readFlash(kFlash, 4096), pattern(4096)) << "nothing touched";
}

TEST_F(ProtectionTest, ReadoutUnprotectMassErasesAndNeedsANewSync) {
    sim::ChipOptions options;
    options.readoutProtected = true;
    options.writeProtectedRegions = 0x3;
    options.initialFlash = pattern(8192);
    start(options);
    synchronise();
    EXPECT_EQ(exchange(command(0x92), 2), (Bytes{kAck, kAck}));
    EXPECT_FALSE(chip().readoutProtected());
    EXPECT_EQ(chip().writeProtectionWord(), 0xFFFFFFFFu) << "the option bytes start afresh";
    EXPECT_EQ(chip().flash(), Bytes(256 * 1024, 0xFF));
    EXPECT_EQ(chip().stats().resets, 1u);
    EXPECT_EQ(chip().stats().busy.erasing, sim::ChipTiming{}.massErase);

    EXPECT_TRUE(exchangeAll(command(0x11)).empty()) << "reset: waiting for 0x7F";
    synchronise();
    EXPECT_EQ(readMemory(kFlash, 16), Bytes(16, 0xFF));
    EXPECT_EQ(readMemory(kOptions, 2), (Bytes{0xA5, 0x5A}));
}

TEST_F(ProtectionTest, ReadoutProtectIsRefusedOnceActive) {
    start();
    synchronise();
    EXPECT_EQ(exchange(command(0x82), 2), (Bytes{kAck, kAck}));
    EXPECT_TRUE(chip().readoutProtected());
    EXPECT_TRUE(exchangeAll(command(0x82)).empty()) << "reset: waiting for 0x7F";
    synchronise();
    EXPECT_EQ(exchange(command(0x82), 1), Bytes{kNack});
    EXPECT_EQ(exchange(command(0x11), 1), Bytes{kNack});
}

TEST_F(ProtectionTest, WriteProtectedRegionIgnoresWritesAndErasesByDefault) {
    sim::ChipOptions options;
    options.writeProtectedRegions = 0x1;  // 0x08000000..0x08000FFF: pages 0 and 1
    options.initialFlash = Bytes(8192, 0x00);
    start(options);
    synchronise();
    EXPECT_EQ(writeMemory(kFlash + 0x2000, pattern(8)), kAck);
    EXPECT_EQ(exchange(command(0x43), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0x02, 0x00, 0x01, 0x02, 0x02 ^ 0x00 ^ 0x01 ^ 0x02}, 1), Bytes{kAck});
    EXPECT_EQ(chip().readFlash(kFlash, 4096), Bytes(4096, 0x00)) << "protected pages unchanged";
    EXPECT_EQ(chip().readFlash(kFlash + 4096, 2048), Bytes(2048, 0xFF)) << "page 2 erased";
    EXPECT_EQ(writeMemory(kFlash + 0x1000, pattern(8)), kAck);
    EXPECT_EQ(chip().readFlash(kFlash + 0x1000, 8), pattern(8));
    // A write over a protected cell is acknowledged and does nothing.
    EXPECT_EQ(writeMemory(kFlash, pattern(8, 3)), kAck);
    EXPECT_EQ(chip().readFlash(kFlash, 8), Bytes(8, 0x00));
}

TEST_F(ProtectionTest, OlderBootloaderRefusesProtectedWritesAndErases) {
    sim::ChipOptions options;
    options.writeProtectedRegions = 0x2;  // 0x08001000..0x08001FFF: pages 2 and 3
    options.protectedWrites = sim::ProtectedWritePolicy::Nack;
    start(options);
    synchronise();
    EXPECT_EQ(writeMemory(kFlash + 0x0FF8, pattern(16)), kNack) << "reaches into region 1";
    EXPECT_EQ(chip().readFlash(kFlash + 0x0FF8, 8), Bytes(8, 0xFF)) << "checked before writing";
    EXPECT_EQ(exchange(command(0x43), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0x01, 0x01, 0x02, 0x01 ^ 0x01 ^ 0x02}, 1), Bytes{kNack});
    EXPECT_EQ(exchange(command(0x43), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0xFF, 0x00}, 1), Bytes{kNack}) << "a global erase touches it too";
    EXPECT_EQ(writeMemory(kFlash, pattern(16)), kAck);
}

TEST_F(ProtectionTest, WriteUnprotectClearsProtectionAndResets) {
    sim::ChipOptions options;
    options.writeProtectedRegions = 0x80000001;
    start(options);
    synchronise();
    EXPECT_EQ(readMemory(kOptions + 8, 8), (Bytes{0xFE, 0x01, 0xFF, 0x00, 0xFF, 0x00, 0x7F, 0x80}));
    EXPECT_EQ(exchange(command(0x73), 2), (Bytes{kAck, kAck}));
    EXPECT_EQ(chip().writeProtectionWord(), 0xFFFFFFFFu);
    EXPECT_TRUE(exchangeAll(command(0x01)).empty()) << "reset: waiting for 0x7F";
    synchronise();
    EXPECT_EQ(writeMemory(kFlash, pattern(8)), kAck);
    EXPECT_EQ(chip().readFlash(kFlash, 8), pattern(8));
}

TEST_F(ProtectionTest, WriteUnprotectIsRefusedWhileReadoutProtected) {
    sim::ChipOptions options;
    options.readoutProtected = true;
    options.writeProtectedRegions = 0x1;
    start(options);
    synchronise();
    EXPECT_EQ(exchange(command(0x73), 1), Bytes{kNack});
    EXPECT_EQ(chip().writeProtectionWord(), 0xFFFFFFFEu);
}

TEST_F(ProtectionTest, WriteProtectTakesASectorListAndResets) {
    start();
    synchronise();
    EXPECT_EQ(exchange(command(0x63), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0x01, 0x00, 0x05, 0x01 ^ 0x00 ^ 0x05}, 1), Bytes{kAck});
    EXPECT_EQ(chip().writeProtectionWord(), ~((1u << 0) | (1u << 5)));
    EXPECT_EQ(chip().stats().resets, 1u);
    synchronise();
    EXPECT_EQ(writeMemory(kFlash + 5 * 4096, pattern(8)), kAck);
    EXPECT_EQ(chip().readFlash(kFlash + 5 * 4096, 8), Bytes(8, 0xFF));

    EXPECT_EQ(exchange(command(0x63), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0x00, 0x40, 0x40}, 1), Bytes{kNack}) << "sector 64 is past 256 KiB";
    EXPECT_EQ(exchange(command(0x63), 1), Bytes{kAck});
    EXPECT_EQ(exchange({0x00, 0x02, 0x03}, 1), Bytes{kNack}) << "bad checksum";
    EXPECT_EQ(chip().writeProtectionWord(), ~((1u << 0) | (1u << 5)));
}

TEST_F(ProtectionTest, LastProtectionBitCoversTheRestOfTheFlash) {
    sim::ChipOptions options;
    options.writeProtectedRegions = 0x80000000;
    start(options);
    synchronise();
    EXPECT_EQ(writeMemory(kFlash + 30 * 4096, pattern(4)), kAck);
    EXPECT_EQ(writeMemory(kFlash + 31 * 4096, pattern(4)), kAck);
    EXPECT_EQ(writeMemory(kFlash + 60 * 4096, pattern(4)), kAck);
    EXPECT_EQ(chip().readFlash(kFlash + 30 * 4096, 4), pattern(4));
    EXPECT_EQ(chip().readFlash(kFlash + 31 * 4096, 4), Bytes(4, 0xFF));
    EXPECT_EQ(chip().readFlash(kFlash + 60 * 4096, 4), Bytes(4, 0xFF));
}

}  // namespace
}  // namespace pellion::test
