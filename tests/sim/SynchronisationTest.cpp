#include "ChipProtocolTest.h"

namespace pellion::test {
namespace {

using std::chrono::milliseconds;

class SynchronisationTest : public ChipProtocolTest {};

TEST_F(SynchronisationTest, IgnoresNoiseUntilTheSyncByteThenAcknowledgesIt) {
    start();
    EXPECT_EQ(chip().state(), sim::ChipState::AwaitingSync);
    EXPECT_TRUE(exchangeAll({0x00, 0x55, 0x11, 0xEE, 0x79}).empty());
    EXPECT_EQ(exchange({0x7F}, 1), Bytes{kAck});
    EXPECT_EQ(chip().state(), sim::ChipState::Synchronised);
    EXPECT_EQ(chip().stats().syncs, 1u);
}

TEST_F(SynchronisationTest, LoneSyncOnASynchronisedChipIsHalfACommand) {
    start();
    synchronise();
    EXPECT_TRUE(exchangeAll({0x7F}).empty()) << "the first 0x7F is only a command's first byte";
    EXPECT_EQ(exchange({0x7F}, 1), Bytes{kNack}) << "7F 7F is a pair without its complement";
    // The chip is still synchronised: a proper command works.
    EXPECT_EQ(exchange(command(0x01), 5), (Bytes{kAck, 0x22, 0x00, 0x00, kAck}));
}

TEST_F(SynchronisationTest, StaysSynchronisedWhileTheHostClosesAndReopensTheLine) {
    start();
    synchronise();
    line_.reset();
    line_ = std::make_unique<RawChipLine>(chips_->devicePath(0));
    ASSERT_TRUE(line().ok()) << line().error();
    EXPECT_TRUE(exchangeAll({0x7F}).empty()) << "still synchronised: half a command";
    EXPECT_EQ(exchange({0x7F}, 1), Bytes{kNack});
    EXPECT_EQ(chip().state(), sim::ChipState::Synchronised);
}

TEST_F(SynchronisationTest, RefusesPairsWithoutComplementAndUnknownCommands) {
    start();
    synchronise();
    EXPECT_EQ(exchange({0x11, 0x11}, 1), Bytes{kNack});
    EXPECT_EQ(exchange(command(0x55), 1), Bytes{kNack});
    EXPECT_EQ(exchange(command(0x05), 1), Bytes{kNack});
    const auto stats = chip().stats();
    EXPECT_EQ(stats.badCommandFrames, 1u);
    EXPECT_EQ(stats.commandsNamed("unknown"), 2u);
    EXPECT_EQ(stats.nacks, 3u);
}

TEST_F(SynchronisationTest, IdentificationCommandsAnswerInTheirFormats) {
    sim::ChipOptions options;
    options.productId = 0x0414;
    start(options);
    synchronise();
    EXPECT_EQ(exchange(command(0x00), 16), (Bytes{kAck, 0x0C, 0x22, 0x00, 0x01, 0x02, 0x06, 0x11,
                                                  0x21, 0x31, 0x43, 0x63, 0x73, 0x82, 0x92, kAck}));
    EXPECT_EQ(exchange(command(0x01), 5), (Bytes{kAck, 0x22, 0x00, 0x00, kAck}));
    EXPECT_EQ(exchange(command(0x02), 5), (Bytes{kAck, 0x01, 0x04, 0x14, kAck}));
    EXPECT_EQ(exchange(command(0x06), 7), (Bytes{kAck, 0x03, '1', 'R', 'C', 'B', kAck}));
    EXPECT_TRUE(line().readUntilQuiet(milliseconds(100)).empty()) << "nothing beyond the answers";
}

TEST_F(SynchronisationTest, ExtendedEraseChipListsItsEraseCommand) {
    sim::ChipOptions options;
    options.code = DeviceCode("1RGB");
    start(options);
    synchronise();
    const Bytes get = exchange(command(0x00), 16);
    ASSERT_EQ(get.size(), 16u);
    EXPECT_EQ(get[10], 0x44);
    EXPECT_EQ(exchange(command(0x06), 7), (Bytes{kAck, 0x03, '1', 'R', 'G', 'B', kAck}));
}

TEST_F(SynchronisationTest, ChipWithoutDeviceCodeCommandRefusesItAndLeavesItOutOfGet) {
    sim::ChipOptions options;
    options.deviceCodeCommand = false;
    start(options);
    synchronise();
    EXPECT_EQ(exchange(command(0x06), 1), Bytes{kNack});
    EXPECT_TRUE(exchangeAll({}).empty()) << "a refused command is answered by NACK alone";
    EXPECT_EQ(exchange(command(0x00), 15), (Bytes{kAck, 0x0B, 0x22, 0x00, 0x01, 0x02, 0x11, 0x21,
                                                  0x31, 0x43, 0x63, 0x73, 0x82, 0x92, kAck}));
}

TEST_F(SynchronisationTest, UnknownDeviceCodeNeedsAnExplicitGeometry) {
    sim::ChipOptions options;
    options.code = DeviceCode("9XYZ");
    VirtualChipFixture unknown(1, options);
    EXPECT_FALSE(unknown.ok());
    EXPECT_NE(unknown.error().find("9XYZ"), std::string::npos);

    options.geometry = DeviceGeometry{64, 4, 1024, 64, 0};
    start(options);
    synchronise();
    EXPECT_EQ(exchange(command(0x06), 7), (Bytes{kAck, 0x03, '9', 'X', 'Y', 'Z', kAck}));
    EXPECT_EQ(chip().flash().size(), 64u * 1024u);
}

TEST_F(SynchronisationTest, CountsEachCommandByName) {
    start();
    synchronise();
    exchange(command(0x00), 16);
    exchange(command(0x02), 5);
    exchange(command(0x02), 5);
    const auto stats = chip().stats();
    EXPECT_EQ(stats.commandsNamed("get"), 1u);
    EXPECT_EQ(stats.commandsNamed("getId"), 2u);
    EXPECT_EQ(stats.commandCount(), 3u);
    EXPECT_EQ(stats.bytesReceived, 7u);
    EXPECT_EQ(stats.bytesSent, 1u + 16u + 10u);
}

}  // namespace
}  // namespace pellion::test
