#include "ChipProtocolTest.h"

namespace pellion::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;
constexpr std::uint32_t kFlash = 0x08000000;

class TimingModelTest : public ChipProtocolTest {};

TEST_F(TimingModelTest, AccountsWireAndFlashTimeEvenWithTimingOff) {
    sim::ChipOptions options;
    options.timing.baud = 9600;
    start(options);
    synchronise();
    ASSERT_EQ(writeMemory(kFlash, pattern(256)), kAck);
    const auto stats = chip().stats();
    const nanoseconds perByte(11LL * 1'000'000'000 / 9600);
    EXPECT_EQ(stats.bytesReceived, 1u + 2u + 5u + 258u);
    EXPECT_EQ(stats.bytesSent, 4u);
    EXPECT_EQ(stats.busy.wireReceive, perByte * 266);
    EXPECT_EQ(stats.busy.wireTransmit, perByte * 4);
    EXPECT_EQ(stats.busy.programming, std::chrono::microseconds(52) * 128);
    EXPECT_EQ(chip().busyTime(), perByte * 270 + std::chrono::microseconds(52) * 128);
}

TEST_F(TimingModelTest, OnlyProgrammedCellsCostProgrammingTime) {
    sim::ChipOptions options;
    options.writeProtectedRegions = 0x1;
    start(options);
    synchronise();
    ASSERT_EQ(writeMemory(kFlash, pattern(64)), kAck);
    EXPECT_EQ(chip().stats().busy.programming, nanoseconds(0)) << "all protected";
    ASSERT_EQ(writeMemory(kFlash + 4096, pattern(64)), kAck);
    EXPECT_EQ(chip().stats().busy.programming, std::chrono::microseconds(52) * 32);
}

TEST_F(TimingModelTest, FollowsTheHostsLineSpeedUnlessFixed) {
    start();  // baud 0: follow the line
    line_ = std::make_unique<RawChipLine>(chips_->devicePath(0), 9600);
    synchronise();
    EXPECT_EQ(chip().stats().busy.wireReceive, nanoseconds(11LL * 1'000'000'000 / 9600));
    line_ = std::make_unique<RawChipLine>(chips_->devicePath(0), 57600);
    chip().reset();
    synchronise();
    EXPECT_EQ(chip().stats().busy.wireReceive,
              nanoseconds(11LL * 1'000'000'000 / 9600 + 11LL * 1'000'000'000 / 57600));

    chip().configure([](sim::ChipOptions& o) { o.timing.baud = 1200; });
    ASSERT_EQ(exchange(command(0x01), 5).size(), 5u);
    EXPECT_EQ(chip().stats().busy.wireTransmit,
              nanoseconds(11LL * 1'000'000'000 / 9600 + 11LL * 1'000'000'000 / 57600 +
                          5 * (11LL * 1'000'000'000 / 1200)));
}

TEST_F(TimingModelTest, DeafDuringStartUpAfterAReset) {
    sim::ChipOptions options;
    options.timing.enabled = true;
    options.timing.baud = 115200;
    options.timing.startup = std::chrono::milliseconds(1500);
    start(options);
    synchronise();
    ASSERT_EQ(writeMemory(0x1FFFF800, {0xA5, 0x5A, 0xFF, 0x00}), kAck);  // resets the chip
    EXPECT_TRUE(exchangeAll({0x7F}).empty()) << "a sync byte during start-up is lost";
    EXPECT_EQ(chip().state(), sim::ChipState::Starting);
    EXPECT_EQ(chip().stats().bytesIgnoredWhileStarting, 1u);
    ASSERT_TRUE(chip().waitUntil(
        [](const sim::VirtualChip& c) { return c.state() == sim::ChipState::AwaitingSync; },
        milliseconds(5000)));
    synchronise();
    EXPECT_EQ(chip().stats().busy.startup, milliseconds(1500));
}

TEST_F(TimingModelTest, AdapterLatencyHoldsAnswersBack) {
    sim::ChipOptions options;
    options.timing.enabled = true;
    options.timing.baud = 115200;
    options.timing.adapterLatency = milliseconds(400);
    start(options);
    ASSERT_TRUE(line().write({0x7F}));
    EXPECT_TRUE(line().read(1, milliseconds(150)).empty()) << "held in the adapter";
    EXPECT_EQ(line().read(1, milliseconds(3000)), Bytes{kAck});
}

TEST_F(TimingModelTest, TimedLineKeepsEveryByteInOrder) {
    sim::ChipOptions options;
    options.timing.enabled = true;
    options.timing.baud = 230400;
    options.timing.adapterLatency = milliseconds(2);  // 62-byte packets and partial ones
    options.initialFlash = pattern(1024, 5);
    start(options);
    synchronise();
    for (int block = 0; block < 4; ++block) {
        EXPECT_EQ(readMemory(kFlash + block * 256, 256),
                  Bytes(options.initialFlash.begin() + block * 256,
                        options.initialFlash.begin() + (block + 1) * 256));
    }
    ASSERT_EQ(writeMemory(kFlash + 2048, pattern(200, 77)), kAck);
    EXPECT_EQ(chip().readFlash(kFlash + 2048, 200), pattern(200, 77));
}

}  // namespace
}  // namespace pellion::test
