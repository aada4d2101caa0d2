// DTR and RTS through CSerialPort: the idle levels an open puts first, SetLines on a virtual
// chip's board, and a port that has no lines to drive.

#include <termios.h>

#include <gtest/gtest.h>

#include "serial/CSerialPort.h"
#include "serial/posix/LineSettings.h"
#include "serial/posix/PtyLineChannel.h"
#include "support/PtyPair.h"
#include "support/TestSerialOwner.h"
#include "support/VirtualChipFixture.h"

namespace pellion::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A production fixture: the chip powers up in its application, RESET on DTR, BOOT0 on RTS. Only
// a boot-entry sequence through the port's lines brings up the bootloader.
TEST(SerialLinesTest, IdleLevelsComeFirstAndSetLinesDrivesTheBoardIntoItsBootloader) {
    sim::ChipOptions options;
    options.startInApplication = true;
    VirtualChipFixture chips(1, options);
    ASSERT_TRUE(chips.ok()) << chips.error();
    const std::string path = chips.devicePath(0);
    sim::VirtualChip& chip = chips.chip(0);
    posix::PtyLineChannel lines;
    ASSERT_TRUE(lines.open(path).ok());
    ASSERT_TRUE(lines.setLines(false, true).ok());

    TestSerialOwner owner;
    CSerialPort port;
    ASSERT_TRUE(port.OpenPort(&owner, path, 1, 115200, 0));
    EXPECT_TRUE(chip.board().lines.rts) << "without idle levels a virtual board is left alone";
    port.StopAndClose();
    ASSERT_TRUE(port.OpenPort(&owner, path, 1, 115200, 0, LineLevels{true, false}));
    EXPECT_TRUE(chip.board().lines.dtr);
    EXPECT_FALSE(chip.board().lines.rts);
    EXPECT_TRUE(chip.board().resetHeld);

    ASSERT_TRUE(port.SetLines(std::nullopt, true));  // BOOT0 up while RESET is held
    EXPECT_TRUE(chip.board().resetHeld);
    ASSERT_TRUE(port.SetLines(false, std::nullopt));  // RESET released: the bootloader starts
    EXPECT_STREQ(chip.board().mode, "bootloader");
    ASSERT_TRUE(port.SetTimeouts(CommTimeouts::uniform(5)));
    ASSERT_TRUE(port.StartMonitor());
    ASSERT_TRUE(owner.waitFor([&] { return port.threadAlive == 1; }));
    const std::uint8_t sync = 0x7F;
    port.QueueWrite(&sync, 1);
    ASSERT_TRUE(owner.waitForDeliveries(1));
    EXPECT_EQ(owner.deliveries[0].buffer[0], 0x79);

    // The simulator gone: the change fails in words, and within its bound.
    chips.host().stop();
    const auto failed = port.SetLines(true, std::nullopt);
    EXPECT_EQ(failed.kind, SerialErrorKind::Other);
    EXPECT_NE(failed.systemText.find(path), std::string::npos) << failed.systemText;
    port.StopAndClose();
    EXPECT_TRUE(owner.errors().empty());
}

TEST(SerialLinesTest, APortWithoutLinesOpensQuietlyAndSaysSoWhenAskedToDriveThem) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok()) << pty.error();
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.masterFd(), &tio), 0);
    tio.c_cflag |= HUPCL;  // as real ports start
    ASSERT_EQ(::tcsetattr(pty.masterFd(), TCSANOW, &tio), 0);
    ASSERT_TRUE(posix::readLineSettings(pty.masterFd())->hangUpOnClose);
    TestSerialOwner owner;
    CSerialPort port;
    EXPECT_EQ(port.SetLines(true, true).kind, SerialErrorKind::Other) << "not open";

    ASSERT_TRUE(port.OpenPort(&owner, pty.slavePath(), 1, 57600, 0, LineLevels{false, false}));
    EXPECT_FALSE(posix::readLineSettings(pty.masterFd())->hangUpOnClose)
        << "closing must not drop the lines";
    EXPECT_EQ(port.SetLines(true, std::nullopt).kind, SerialErrorKind::NoLines);
    EXPECT_TRUE(owner.errors().empty());

    ASSERT_TRUE(port.StartMonitor());
    pty.closeMaster();
    ASSERT_TRUE(owner.waitFor([&] { return !owner.lostPorts.empty(); }));
    EXPECT_EQ(port.SetLines(false, false).kind, SerialErrorKind::Gone);
}

}  // namespace
}  // namespace pellion::test
