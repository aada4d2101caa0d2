#include "ChipProtocolTest.h"

namespace pellion::test {
namespace {

using std::chrono::milliseconds;
constexpr std::uint32_t kFlash = 0x08000000;

class FaultInjectionTest : public ChipProtocolTest {
  protected:
    void startWith(const sim::FaultOptions& faults) {
        sim::ChipOptions options;
        options.faults = faults;
        start(options);
    }
};

TEST_F(FaultInjectionTest, StrayZeroBeforeTheSyncAck) {
    sim::FaultOptions faults;
    faults.strayZeroBeforeSyncAck = true;
    startWith(faults);
    EXPECT_EQ(exchange({0x7F}, 2), (Bytes{0x00, kAck}));
    EXPECT_EQ(exchange(command(0x01), 5), (Bytes{kAck, 0x22, 0x00, 0x00, kAck}))
        << "only the sync answer carries it";
    EXPECT_EQ(chip().stats().strayZeros, 1u);
}

TEST_F(FaultInjectionTest, ParityBlindAdapterLosesBytesWithAnEvenNumberOfOnes) {
    sim::FaultOptions faults;
    faults.parityBlindAdapter = true;
    startWith(faults);
    synchronise();  // 0x7F: seven ones
    EXPECT_TRUE(exchangeAll(command(0x06)).empty()) << "Get device code: two ones, both lost";
    EXPECT_EQ(chip().stats().parityDiscards, 2u);
    // A byte and its complement have ones of the same parity: odd command codes still pass.
    EXPECT_EQ(exchange(command(0x01), 5), (Bytes{kAck, 0x22, 0x00, 0x00, kAck}));
    EXPECT_EQ(chip().stats().commandCount(), 1u);
}

TEST_F(FaultInjectionTest, InjectedNackReplacesTheFirstAckAndAbandonsTheCommand) {
    sim::FaultOptions faults;
    faults.nackProbability = 1.0;
    startWith(faults);
    synchronise();
    EXPECT_EQ(exchange(command(0x11), 1), Bytes{kNack});
    EXPECT_EQ(exchange(command(0x02), 1), Bytes{kNack}) << "taken as a new command";
    EXPECT_EQ(chip().stats().injectedNacks, 2u);
    chip().configure([](sim::ChipOptions& o) { o.faults.nackProbability = 0; });
    EXPECT_EQ(exchange(command(0x01), 5), (Bytes{kAck, 0x22, 0x00, 0x00, kAck}));
}

TEST_F(FaultInjectionTest, DroppedAnswerBytesNeverArrive) {
    sim::FaultOptions faults;
    faults.dropAnswerByteProbability = 1.0;
    startWith(faults);
    EXPECT_TRUE(exchangeAll({0x7F}).empty());
    EXPECT_EQ(chip().state(), sim::ChipState::Synchronised) << "the chip itself did answer";
    EXPECT_EQ(chip().stats().droppedBytes, 1u);
    EXPECT_TRUE(exchangeAll(command(0x02)).empty());
    EXPECT_EQ(chip().stats().droppedBytes, 6u);
}

TEST_F(FaultInjectionTest, CorruptedAnswerBytesArriveChanged) {
    sim::FaultOptions faults;
    faults.corruptAnswerByteProbability = 1.0;
    startWith(faults);
    const Bytes answer = exchange({0x7F}, 1);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_NE(answer[0], kAck);
    const Bytes get = exchange(command(0x01), 5);
    ASSERT_EQ(get.size(), 5u);
    EXPECT_NE(get, (Bytes{kAck, 0x22, 0x00, 0x00, kAck}));
    for (std::size_t i = 0; i < get.size(); ++i)
        EXPECT_NE(get[i], (Bytes{kAck, 0x22, 0x00, 0x00, kAck})[i]) << "byte " << i;
    EXPECT_EQ(chip().stats().corruptedBytes, 6u);
}

TEST_F(FaultInjectionTest, GoesSilentAfterKCommands) {
    sim::FaultOptions faults;
    faults.silentAfterCommands = 2;
    startWith(faults);
    synchronise();
    EXPECT_EQ(exchange(command(0x01), 5).size(), 5u);
    EXPECT_EQ(exchange(command(0x02), 5).size(), 5u);
    EXPECT_TRUE(exchangeAll(command(0x01)).empty());
    EXPECT_TRUE(exchangeAll({0x7F}).empty());
    EXPECT_EQ(chip().state(), sim::ChipState::Silent);
    EXPECT_TRUE(chip().stats().silenced);
    chip().reset();  // power cycle
    ASSERT_TRUE(chip().waitUntil(
        [](const sim::VirtualChip& c) { return c.state() == sim::ChipState::AwaitingSync; },
        milliseconds(2000)));
    synchronise();
}

TEST_F(FaultInjectionTest, DisconnectsAfterKBytes) {
    sim::FaultOptions faults;
    faults.disconnectAfterBytes = 3;
    startWith(faults);
    synchronise();
    line().write(command(0x01));
    line().readUntilQuiet(milliseconds(300), milliseconds(2000));
    EXPECT_TRUE(line().hungUp());
    EXPECT_EQ(chip().state(), sim::ChipState::Disconnected);
    const auto stats = chip().stats();
    EXPECT_TRUE(stats.disconnected);
    EXPECT_EQ(stats.bytesReceived, 3u);
}

TEST_F(FaultInjectionTest, BadCellFlipsOneProgrammedBitSilently) {
    sim::FaultOptions faults;
    faults.badCellProbability = 1.0;
    faults.seed = 42;
    startWith(faults);
    synchronise();
    const Bytes data = pattern(64, 0x10);
    EXPECT_EQ(writeMemory(kFlash + 0x200, data), kAck) << "the chip does not notice";
    const Bytes stored = chip().readFlash(kFlash + 0x200, 64);
    int differingBits = 0;
    std::uint32_t differingAddress = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto diff = std::uint8_t(data[i] ^ stored[i]);
        differingBits += std::popcount(diff);
        if (diff)
            differingAddress = kFlash + 0x200 + std::uint32_t(i);
    }
    EXPECT_EQ(differingBits, 1);
    const auto stats = chip().stats();
    ASSERT_EQ(stats.flippedBits.size(), 1u);
    EXPECT_EQ(stats.flippedBits[0].address, differingAddress);
    EXPECT_EQ(readMemory(kFlash + 0x200, 64), stored) << "read-back shows the bad cell";
}

TEST(FaultReproducibilityTest, SameSeedSameFaultsOtherSeedOtherFaults) {
    auto answersWithSeed = [](std::uint64_t seed) {
        sim::ChipOptions options;
        options.faults.nackProbability = 0.5;
        options.faults.seed = seed;
        VirtualChipFixture chips(1, options);
        EXPECT_TRUE(chips.ok());
        RawChipLine line(chips.devicePath(0));
        line.write({0x7F});
        EXPECT_EQ(line.read(1), Bytes{kAck});
        Bytes firstBytes;
        for (int i = 0; i < 32; ++i) {
            line.write(command(0x01));
            const Bytes answer = line.read(1);
            EXPECT_EQ(answer.size(), 1u);
            firstBytes.push_back(answer.empty() ? 0 : answer[0]);
            if (!answer.empty() && answer[0] == kAck)
                line.read(4);
        }
        return firstBytes;
    };
    const Bytes a = answersWithSeed(7);
    EXPECT_EQ(a, answersWithSeed(7));
    EXPECT_NE(a, answersWithSeed(8));
    EXPECT_GT(std::count(a.begin(), a.end(), kNack), 4);
    EXPECT_GT(std::count(a.begin(), a.end(), kAck), 4);
}

}  // namespace
}  // namespace pellion::test
