#include "serial/CSerialPort.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "serial/posix/LineSettings.h"
#include "support/PtyPair.h"
#include "support/TestSerialOwner.h"

using namespace std::chrono_literals;
using pellion::CommTimeouts;
using pellion::CSerialPort;
using pellion::test::PtyPair;
using pellion::test::TestSerialOwner;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint32_t kCom = 5;

Bytes withZeros(Bytes head, std::size_t total) {
    head.resize(total, 0);
    return head;
}

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(pty.ok()) << pty.error(); }

    // Opened and monitored as the window does it: row's baud, 5 ms time-outs.
    void openMonitored(std::uint32_t baud = 57600, std::uint32_t writePause = 0) {
        ASSERT_TRUE(port.OpenPort(&owner, pty.slavePath(), kCom, baud, writePause));
        ASSERT_TRUE(port.SetTimeouts(CommTimeouts::uniform(5)));
        ASSERT_TRUE(port.StartMonitor());
        // The monitor empties the input queue as it starts; the far end talks after that.
        ASSERT_TRUE(owner.waitFor([&] { return port.threadAlive == 1; }));
    }

    void send(const Bytes& bytes) { port.QueueWrite(bytes.data(), static_cast<int>(bytes.size())); }

    PtyPair pty;
    TestSerialOwner owner;
    CSerialPort port;
};

}  // namespace

TEST_F(SerialPortTest, HoldsTheDeviceExclusivelyUntilClosed) {
    EXPECT_FALSE(CSerialPort::IsPortBusy(pty.slavePath()));
    ASSERT_TRUE(port.OpenPort(&owner, pty.slavePath(), kCom, 57600, 0));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(CSerialPort::IsPortBusy(pty.slavePath()));

    // A second opener fails quietly, even though these tests run with every privilege.
    CSerialPort second;
    TestSerialOwner otherOwner;
    EXPECT_FALSE(second.OpenPort(&otherOwner, pty.slavePath(), kCom, 57600, 0));
    EXPECT_FALSE(second.IsOpen());
    const int plain = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (plain >= 0) {
        EXPECT_NE(::flock(plain, LOCK_EX | LOCK_NB), 0);
        ::close(plain);
    }

    port.StopAndClose();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(CSerialPort::IsPortBusy(pty.slavePath()));
    EXPECT_TRUE(second.OpenPort(&otherOwner, pty.slavePath(), kCom, 57600, 0));
    EXPECT_TRUE(owner.errors().empty());
    EXPECT_TRUE(otherOwner.errors().empty());
}

namespace {

// The errno an unprivileged process gets when it opens `path` (0 when the open succeeds).
int errnoOfUnprivilegedOpen(const std::string& path) {
    if (::getuid() != 0) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return errno;
        ::close(fd);
        return 0;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(255);
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ::_exit(fd < 0 ? errno : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// Openers that do not take the advisory lock are kept out by the terminal's exclusive mode.
TEST_F(SerialPortTest, AnOpenerIgnoringTheLockIsTurnedAwayToo) {
    ASSERT_EQ(::chmod(pty.slavePath().c_str(), 0666), 0);
    ASSERT_EQ(errnoOfUnprivilegedOpen(pty.slavePath()), 0);
    ASSERT_TRUE(port.OpenPort(&owner, pty.slavePath(), kCom, 57600, 0));
    EXPECT_EQ(errnoOfUnprivilegedOpen(pty.slavePath()), EBUSY);
    port.StopAndClose();
    EXPECT_EQ(errnoOfUnprivilegedOpen(pty.slavePath()), 0);
}

TEST_F(SerialPortTest, APortHeldElsewhereOrAbsentOrNotATerminalIsBusy) {
    const int holder = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(CSerialPort::IsPortBusy(pty.slavePath()));
    EXPECT_FALSE(port.OpenPort(&owner, pty.slavePath(), kCom, 57600, 0));
    ::close(holder);

    EXPECT_TRUE(CSerialPort::IsPortBusy("/dev/pellion-no-such-port"));
    EXPECT_FALSE(port.OpenPort(&owner, "/dev/pellion-no-such-port", kCom, 57600, 0));

    char file[] = "/tmp/pellion-not-a-tty-XXXXXX";
    const int fd = ::mkstemp(file);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_TRUE(CSerialPort::IsPortBusy(file));
    EXPECT_FALSE(port.OpenPort(&owner, file, kCom, 57600, 0));
    ::unlink(file);
    EXPECT_TRUE(owner.errors().empty());
}

TEST(SerialLine, IsRawEightEvenOneWithoutFlowControlWhateverItWasBefore) {
    const auto line = pellion::posix::bootloaderLineFromAnyState(57600);
    EXPECT_EQ(line.baud, 57600u);
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_EQ(line.parity, 'E');
    EXPECT_EQ(line.stopBits, 1);
    EXPECT_FALSE(line.hardwareFlowControl);
    EXPECT_FALSE(line.softwareFlowControl);
    EXPECT_TRUE(line.raw);
    EXPECT_TRUE(line.receiverEnabled);
    EXPECT_TRUE(line.ignoresModemLines);
}

// Pseudo-terminals accept any rate but force 8N1, so parity is checked above instead.
TEST_F(SerialPortTest, AcceptsEveryRateAsARawLine) {
    const std::uint32_t rates[] = {1200,  2400,  4800,   9600,   14400,  19200, 38400,
                                   56000, 57600, 115200, 230400, 460800, 921600};
    for (const auto baud : rates) {
        SCOPED_TRACE(baud);
        ASSERT_TRUE(port.OpenPort(&owner, pty.slavePath(), kCom, baud, 0));
        const auto line = pellion::posix::readLineSettings(pty.masterFd());
        ASSERT_TRUE(line.has_value());
        EXPECT_EQ(line->baud, baud);
        EXPECT_EQ(line->dataBits, 8);
        EXPECT_EQ(line->stopBits, 1);
        EXPECT_FALSE(line->hardwareFlowControl);
        EXPECT_FALSE(line->softwareFlowControl);
        EXPECT_TRUE(line->raw);
        EXPECT_TRUE(line->receiverEnabled);
        EXPECT_TRUE(line->ignoresModemLines);
        EXPECT_EQ(port.Baud(), baud);
        port.StopAndClose();
    }
    EXPECT_TRUE(owner.errors().empty());
}

TEST_F(SerialPortTest, OpeningAppliesOneSecondTimeoutsWhichCanBeChangedAfterwards) {
    EXPECT_FALSE(port.SetTimeouts(CommTimeouts::uniform(5)));  // not open yet
    ASSERT_TRUE(port.OpenPort(&owner, pty.slavePath(), kCom, 57600, 0));
    const auto initial = port.Timeouts();
    EXPECT_EQ(initial.readIntervalTimeout, 1000u);
    EXPECT_EQ(initial.readTotalTimeoutMultiplier, 1000u);
    EXPECT_EQ(initial.readTotalTimeoutConstant, 1000u);
    EXPECT_EQ(initial.writeTotalTimeoutMultiplier, 1000u);
    EXPECT_EQ(initial.writeTotalTimeoutConstant, 1000u);
    ASSERT_TRUE(port.SetTimeouts(CommTimeouts::uniform(5)));
    EXPECT_EQ(port.Timeouts().readTotalTimeoutConstant, 5u);
}

TEST_F(SerialPortTest, AFailingConfigurationStepIsReportedAndThePortStaysOpen) {
    ASSERT_TRUE(port.OpenPort(&owner, pty.slavePath(), 9, 0, 0));
    EXPECT_TRUE(port.IsOpen());
    const auto errors = owner.errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].caption, "Application Error");
    EXPECT_EQ(errors[0].text,
              "WARNING:  termios2 baud rate Failed with the following error: \n"
              "Invalid argument\nPort: 9 (" +
                  pty.slavePath() + ")\n");
}

TEST_F(SerialPortTest, WritesTheQueuedFrameAndDeliversASevenByteAnswerAtOnce) {
    openMonitored();
    port.readLength = 7;
    send({0x02, 0xFD});
    EXPECT_EQ(pty.read(2, 2s), (Bytes{0x02, 0xFD}));
    const Bytes answer{0x79, 0x04, 0x10, 0x00, 0x41, 0x79, 0x00};
    ASSERT_TRUE(pty.write(answer));
    ASSERT_TRUE(owner.waitForDeliveries(1));
    owner.serveFor(50ms);
    ASSERT_EQ(owner.deliveries.size(), 1u);
    const auto& d = owner.deliveries[0];
    EXPECT_EQ(d.buffer, withZeros(answer, CSerialPort::kRxBufferSize));
    EXPECT_EQ(d.readLengthDuringCall, 1);
    EXPECT_EQ(d.comNumber, kCom);
    EXPECT_EQ(d.port, &port);
    EXPECT_TRUE(d.onOwnerThread);
    EXPECT_EQ(port.readLength, 1);

    // The next answer starts a new receive step on a cleared buffer.
    ASSERT_TRUE(pty.write({0x1F}));
    ASSERT_TRUE(owner.waitForDeliveries(2));
    EXPECT_EQ(owner.deliveries[1].buffer, withZeros({0x1F}, CSerialPort::kRxBufferSize));
}

TEST_F(SerialPortTest, AShortAnswerIsDeliveredOnceWhenTheTimeoutsExpire) {
    openMonitored();
    port.readLength = 7;
    ASSERT_TRUE(pty.write({0x79, 0x04, 0x10}));
    ASSERT_TRUE(owner.waitForDeliveries(1));
    owner.serveFor(50ms);
    ASSERT_EQ(owner.deliveries.size(), 1u);
    EXPECT_EQ(owner.deliveries[0].buffer,
              withZeros({0x79, 0x04, 0x10}, CSerialPort::kRxBufferSize));
}

TEST_F(SerialPortTest, MoreBytesThanAskedForAreDeliveredInReadsThatKeepEarlierBytes) {
    // The pause keeps the monitor away from the line until all five bytes are queued.
    openMonitored(57600, 150);
    port.readLength = 3;
    send({0x7F});
    ASSERT_EQ(pty.read(1, 2s), Bytes{0x7F});
    ASSERT_TRUE(pty.write({1, 2, 3, 4, 5}));
    ASSERT_TRUE(owner.waitForDeliveries(3));
    owner.serveFor(50ms);
    ASSERT_EQ(owner.deliveries.size(), 3u);
    EXPECT_EQ(owner.deliveries[0].first(4), (Bytes{1, 2, 3, 0}));
    // Later one-byte reads overwrite only the first byte of the same receive step's buffer.
    EXPECT_EQ(owner.deliveries[1].first(4), (Bytes{4, 2, 3, 0}));
    EXPECT_EQ(owner.deliveries[2].first(4), (Bytes{5, 2, 3, 0}));
}

TEST_F(SerialPortTest, AReadLengthSetDuringADeliveryGovernsTheNextRead) {
    openMonitored(57600, 100);
    owner.onData = [&](CSerialPort& p, const std::uint8_t*) {
        if (owner.deliveries.size() == 1)
            p.readLength = 4;
    };
    send({0x7F});
    ASSERT_EQ(pty.read(1, 2s), Bytes{0x7F});
    ASSERT_TRUE(pty.write({0x79, 0x11, 0x22, 0x33, 0x44}));
    ASSERT_TRUE(owner.waitForDeliveries(2));
    owner.serveFor(50ms);
    ASSERT_EQ(owner.deliveries.size(), 2u);
    EXPECT_EQ(owner.deliveries[0].first(2), (Bytes{0x79, 0}));
    EXPECT_EQ(owner.deliveries[1].first(5), (Bytes{0x11, 0x22, 0x33, 0x44, 0}));
}

TEST_F(SerialPortTest, BytesArrivingDuringTheWritePauseFollowItInOrder) {
    constexpr auto kPause = 200ms;
    openMonitored(57600, kPause.count());
    send({0x7F});
    ASSERT_EQ(pty.read(1, 2s), Bytes{0x7F});
    const auto written = pellion::SteadyClock::now();
    ASSERT_TRUE(pty.write({0x79}));
    ASSERT_TRUE(pty.write({0x1F}));
    ASSERT_TRUE(pty.write({0x42}));
    ASSERT_TRUE(owner.waitForDeliveries(3));
    ASSERT_EQ(owner.deliveries.size(), 3u);
    EXPECT_EQ(owner.deliveries[0].buffer[0], 0x79);
    EXPECT_EQ(owner.deliveries[1].buffer[0], 0x1F);
    EXPECT_EQ(owner.deliveries[2].buffer[0], 0x42);
    // Nothing was read while the pause lasted (a little slack for the clocks involved).
    EXPECT_GE(owner.deliveries[0].at - written, kPause - 20ms);
}

TEST_F(SerialPortTest, ClosingFromWithinADeliveryStopsFurtherReadsAndFreesThePort) {
    openMonitored(57600, 100);
    owner.onData = [&](CSerialPort& p, const std::uint8_t*) { p.StopAndClose(); };
    send({0x7F});
    ASSERT_EQ(pty.read(1, 2s), Bytes{0x7F});
    ASSERT_TRUE(pty.write({1, 2, 3, 4}));
    ASSERT_TRUE(owner.waitForDeliveries(1));
    owner.serveFor(100ms);
    EXPECT_EQ(owner.deliveries.size(), 1u);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(owner.waitFor([&] { return port.threadAlive == 0; }));

    // Nothing stayed locked or running: the same object opens and works again.
    owner.onData = nullptr;
    openMonitored();
    ASSERT_TRUE(pty.write({0x55}));
    ASSERT_TRUE(owner.waitForDeliveries(2));
    EXPECT_EQ(owner.deliveries[1].buffer[0], 0x55);
}

TEST_F(SerialPortTest, StoppingWhileTheMonitorWaitsOnTheOwnerDoesNotDeadlock) {
    openMonitored();
    ASSERT_TRUE(pty.write({1, 2, 3}));
    // The monitor is now blocked handing bytes to this thread, which has not run its loop.
    std::this_thread::sleep_for(50ms);
    port.StopAndClose();
    EXPECT_EQ(port.threadAlive, 0u);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_LE(owner.deliveries.size(), 1u);
}

TEST_F(SerialPortTest, StoppingAPortThatNeverRanIsSafe) {
    CSerialPort neverOpened;
    neverOpened.StopAndClose();
    neverOpened.StopAndClose();
    EXPECT_FALSE(neverOpened.IsOpen());
    EXPECT_FALSE(neverOpened.StartMonitor());

    ASSERT_TRUE(port.OpenPort(&owner, pty.slavePath(), kCom, 57600, 0));
    port.StopAndClose();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(CSerialPort::IsPortBusy(pty.slavePath()));
    const Bytes frame{0x7F};
    port.QueueWrite(frame.data(), 1);  // dropped: nothing is open
    EXPECT_TRUE(pty.read(1, 50ms).empty());
}

TEST_F(SerialPortTest, WithReceivingDisabledWritesAndShutdownStillWork) {
    openMonitored();
    port.SetReceiveEnabled(false);
    EXPECT_FALSE(port.IsReceiveEnabled());
    ASSERT_TRUE(pty.write({0x79, 0x79}));
    send({0x00, 0xFF});
    EXPECT_EQ(pty.read(2, 2s), (Bytes{0x00, 0xFF}));
    owner.serveFor(100ms);
    EXPECT_TRUE(owner.deliveries.empty());

    // What was held back can be purged; receiving again takes only what comes next.
    port.Purge();
    port.SetReceiveEnabled(true);
    ASSERT_TRUE(pty.write({0x1F}));
    ASSERT_TRUE(owner.waitForDeliveries(1));
    owner.serveFor(50ms);
    ASSERT_EQ(owner.deliveries.size(), 1u);
    EXPECT_EQ(owner.deliveries[0].buffer[0], 0x1F);

    port.SetReceiveEnabled(false);
    port.StopAndClose();
    EXPECT_EQ(port.threadAlive, 0u);
    EXPECT_TRUE(owner.errors().empty());
}

TEST_F(SerialPortTest, SlowAnswersPacedByteByByteAt1200BaudArriveWhole) {
    openMonitored(1200);
    // A pause of two characters ends a read, as it should. A writer thread that a busy machine
    // holds back that long has not sent at the line's pace: such a round proves nothing and is
    // sent again (bounded); every round sent at the pace must arrive whole.
    const auto gapLimit = std::chrono::milliseconds(pellion::minimumByteTimeoutMs(1200));
    int paced = 0;
    for (int round = 0; round < 30 && paced < 3; ++round) {
        SCOPED_TRACE(round);
        port.readLength = 7;
        const Bytes answer{0x79, 0x04, 0x10, 0x00, 0x41, static_cast<std::uint8_t>(round), 0x79};
        // One character lasts 9.2 ms at 1200 baud; the writer keeps that pace.
        std::chrono::steady_clock::duration widestGap{};
        std::thread writer([&] {
            const auto start = pellion::SteadyClock::now();
            auto lastBefore = start;
            for (std::size_t i = 0; i < answer.size(); ++i) {
                std::this_thread::sleep_until(start + i * 9ms);
                const auto before = pellion::SteadyClock::now();
                pty.write({answer[i]});
                // The byte left between `before` and now; the one before it no earlier than
                // `lastBefore`.
                if (i > 0)
                    widestGap = std::max(widestGap, pellion::SteadyClock::now() - lastBefore);
                lastBefore = before;
            }
        });
        const std::size_t before = owner.deliveries.size();
        ASSERT_TRUE(owner.waitForDeliveries(before + 1));
        writer.join();
        owner.serveFor(100ms);
        if (widestGap >= gapLimit) {
            port.Purge();
            owner.serveFor(50ms);
            continue;
        }
        ++paced;
        ASSERT_EQ(owner.deliveries.size(), before + 1);
        EXPECT_EQ(owner.deliveries.back().first(8), withZeros(answer, 8));
    }
    EXPECT_EQ(paced, 3);
}

TEST_F(SerialPortTest, TheFarEndVanishingMidReadIsReportedOnceWithoutSpinning) {
    ASSERT_TRUE(port.OpenPort(&owner, pty.slavePath(), kCom, 57600, 0));
    ASSERT_TRUE(port.StartMonitor());  // 1000 ms time-outs: the read is still waiting below
    ASSERT_TRUE(owner.waitFor([&] { return port.threadAlive == 1; }));
    port.readLength = 7;
    ASSERT_TRUE(pty.write({0x79, 0x04, 0x10}));
    std::this_thread::sleep_for(50ms);
    pty.closeMaster();

    ASSERT_TRUE(owner.waitFor([&] { return !owner.lostPorts.empty(); }));
    EXPECT_TRUE(port.IsLost());
    const double cpuBefore = processCpuSeconds();
    owner.serveFor(300ms);
    EXPECT_LT(processCpuSeconds() - cpuBefore, 0.15);
    ASSERT_EQ(owner.lostPorts.size(), 1u);
    EXPECT_EQ(owner.lostPorts[0], &port);

    const Bytes frame{0x7F};
    port.QueueWrite(frame.data(), 1);  // the device is gone: dropped quietly
    owner.serveFor(50ms);
    EXPECT_TRUE(owner.errors().empty());
    EXPECT_EQ(owner.lostPorts.size(), 1u);
    port.StopAndClose();
    EXPECT_EQ(port.threadAlive, 0u);
}

TEST_F(SerialPortTest, AHangUpIsNoticedEvenWhileReceivingIsDisabled) {
    openMonitored();
    port.SetReceiveEnabled(false);
    owner.serveFor(20ms);
    pty.closeMaster();
    ASSERT_TRUE(owner.waitFor([&] { return !owner.lostPorts.empty(); }));
    owner.serveFor(50ms);
    EXPECT_EQ(owner.lostPorts.size(), 1u);
    EXPECT_TRUE(owner.deliveries.empty());
}

namespace {

// Waits, without running the owner loop, until the monitor has noticed the hang-up and posted
// its report.
bool waitUntilLostWithoutServing(const CSerialPort& port) {
    for (int i = 0; i < 500 && !port.IsLost(); ++i)
        std::this_thread::sleep_for(5ms);
    return port.IsLost();
}

}  // namespace

TEST_F(SerialPortTest, ALostReportNotYetHandledIsDroppedWhenThePortCloses) {
    openMonitored();
    pty.closeMaster();
    ASSERT_TRUE(waitUntilLostWithoutServing(port));
    port.StopAndClose();
    owner.serveFor(50ms);
    EXPECT_TRUE(owner.lostPorts.empty());
}

TEST_F(SerialPortTest, ALostReportNotYetHandledIsDroppedWhenThePortIsDestroyed) {
    auto doomed = std::make_unique<CSerialPort>();
    ASSERT_TRUE(doomed->OpenPort(&owner, pty.slavePath(), kCom, 57600, 0));
    ASSERT_TRUE(doomed->StartMonitor());
    ASSERT_TRUE(owner.waitFor([&] { return doomed->threadAlive == 1; }));
    pty.closeMaster();
    ASSERT_TRUE(waitUntilLostWithoutServing(*doomed));
    doomed.reset();
    owner.serveFor(50ms);
    EXPECT_TRUE(owner.lostPorts.empty());
}

TEST_F(SerialPortTest, ReopeningAMonitoredPortStopsTheOldMonitorFirst) {
    openMonitored(57600);
    ASSERT_TRUE(pty.write({0x01}));
    ASSERT_TRUE(owner.waitForDeliveries(1));
    openMonitored(115200);
    EXPECT_EQ(pellion::posix::readLineSettings(pty.masterFd())->baud, 115200u);
    ASSERT_TRUE(pty.write({0x02}));
    ASSERT_TRUE(owner.waitForDeliveries(2));
    owner.serveFor(30ms);
    ASSERT_EQ(owner.deliveries.size(), 2u);
    EXPECT_EQ(owner.deliveries[1].buffer[0], 0x02);
}
