// The board around a virtual chip, driven through its line endpoint as a host would: RESET and
// BOOT0 follow DTR and RTS, and the release of reset starts the bootloader or the application.
#include <string>

#include "ChipProtocolTest.h"
#include "serial/posix/PtyLineChannel.h"

namespace pellion::test {
namespace {

using std::chrono::milliseconds;

class BoardLinesTest : public ChipProtocolTest {
  protected:
    void startBoard(const sim::ChipOptions& options) {
        start(options);
        const auto opened = lines_.open(chips_->devicePath(0));
        ASSERT_TRUE(opened.ok()) << opened.message;
    }
    // RESET and BOOT0 as the board's wiring connects them to DTR and RTS.
    void drive(bool reset, bool boot) {
        const bool dtrReset = chip().options().wiring == sim::Wiring::DtrReset;
        const auto result = lines_.setLines(dtrReset ? reset : boot, dtrReset ? boot : reset);
        ASSERT_TRUE(result.ok()) << result.message;
    }
    std::string mode() { return chip().board().mode; }
    bool waitFor(sim::ChipState state) {
        return chip().waitUntil([state](const sim::VirtualChip& c) { return c.state() == state; },
                                milliseconds(5000));
    }
    std::string text(std::size_t count, milliseconds timeout = milliseconds(3000)) {
        const Bytes bytes = line().read(count, timeout);
        return std::string(bytes.begin(), bytes.end());
    }

    void resetAndBoot0FollowTheLines(sim::Wiring wiring);

    posix::PtyLineChannel lines_;
};

// A fresh board of this wiring through power-up, reset, bootloader and application.
void BoardLinesTest::resetAndBoot0FollowTheLines(sim::Wiring wiring) {
    sim::ChipOptions options;
    options.wiring = wiring;
    options.startInApplication = true;
    options.applicationText = "app";
    options.applicationInterval = milliseconds(150);
    options.initialFlash = pattern(64);  // a program to run
    options.timing.enabled = true;
    options.timing.baud = 115200;
    options.timing.startup = milliseconds(1000);
    startBoard(options);

    // A fresh board runs its application, which never answers the bootloader's sync byte.
    EXPECT_EQ(mode(), "application");
    EXPECT_EQ(text(5), "app\r\n");

    // Held in reset the chip does nothing at all.
    drive(true, true);
    EXPECT_EQ(mode(), "reset");
    EXPECT_EQ(chip().state(), sim::ChipState::InReset);
    line().write({0x7F});
    EXPECT_EQ(text(1, milliseconds(400)), "") << "no answer, and the application stopped";
    EXPECT_EQ(chip().stats().bytesIgnoredInReset, 1u);

    // Released with BOOT0 high: the bootloader, deaf for its start-up time.
    drive(false, true);
    EXPECT_TRUE(exchangeAll({0x7F}).empty()) << "a sync byte during start-up is lost";
    EXPECT_EQ(chip().stats().bytesIgnoredWhileStarting, 1u);
    ASSERT_TRUE(waitFor(sim::ChipState::AwaitingSync));
    EXPECT_EQ(mode(), "bootloader");
    synchronise();
    EXPECT_EQ(exchange(command(0x01), 5), (Bytes{kAck, 0x22, 0x00, 0x00, kAck}));

    // A reset pulse with BOOT0 low: the application again.
    drive(true, false);
    drive(false, false);
    ASSERT_TRUE(waitFor(sim::ChipState::Application));
    EXPECT_EQ(mode(), "application");
    EXPECT_EQ(text(5), "app\r\n");
    line().write({0x7F});
    EXPECT_EQ(text(5), "app\r\n") << "the sync byte is not answered";
    EXPECT_EQ(chip().stats().syncs, 1u);
    EXPECT_EQ(chip().stats().resets, 2u);
}

TEST_F(BoardLinesTest, ResetAndBoot0FollowDtrAndRtsOnADtrResetBoard) {
    resetAndBoot0FollowTheLines(sim::Wiring::DtrReset);
}

TEST_F(BoardLinesTest, ResetAndBoot0FollowRtsAndDtrOnAnRtsResetBoard) {
    resetAndBoot0FollowTheLines(sim::Wiring::RtsReset);
}

TEST_F(BoardLinesTest, AJumperedBoardAlwaysStartsItsBootloader) {
    startBoard({});
    EXPECT_EQ(mode(), "bootloader");
    drive(true, false);
    EXPECT_TRUE(chip().board().boot0High) << "the jumper holds BOOT0 high";
    EXPECT_TRUE(exchangeAll({0x7F}).empty());
    drive(false, false);
    synchronise();
    // The reset button does nothing while the line holds RESET.
    drive(true, false);
    chip().reset();
    EXPECT_EQ(chip().state(), sim::ChipState::InReset);
    EXPECT_EQ(chip().stats().resets, 1u);
}

}  // namespace
}  // namespace pellion::test
