// The serial port on the Win32 API, against a null-modem cable the harness lays between two COM
// ports (scripts/wine-tests.sh, tests/support/wine/null_modem.py): the port under test on one
// end, the other end driven here with plain Win32 calls.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "serial/CSerialPort.h"
#include "support/TestSerialOwner.h"

namespace pellion {
namespace {

using namespace std::chrono_literals;
using test::TestSerialOwner;

constexpr std::uint32_t kBaud = 115200;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// "COM31,COM32": the port under test and the far end of its cable.
struct Cable {
    std::string tested;
    std::string partner;
    std::string cutFile;  // creating it hangs up the near end
};

Cable cableFromEnvironment() {
    const std::string pair = environment("PELLION_TEST_COM_PAIR");
    const auto comma = pair.find(',');
    if (comma == std::string::npos)
        return {};
    return {pair.substr(0, comma), pair.substr(comma + 1), environment("PELLION_TEST_COM_CUT")};
}

// The far end: a COM port opened without overlapped I/O, 8E1, reads waiting up to 2 s.
class FarEnd {
  public:
    explicit FarEnd(const std::string& name) {
        const std::wstring path = L"\\\\.\\" + std::wstring(name.begin(), name.end());
        handle_ = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE)
            return;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ::GetCommState(handle_, &dcb);
        dcb.BaudRate = kBaud;
        dcb.ByteSize = 8;
        dcb.Parity = EVENPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        ::SetCommState(handle_, &dcb);
        COMMTIMEOUTS timeouts{};
        timeouts.ReadTotalTimeoutConstant = 2000;
        ::SetCommTimeouts(handle_, &timeouts);
        ::PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    }
    ~FarEnd() {
        if (isOpen())
            ::CloseHandle(handle_);
    }
    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

    void write(const std::vector<std::uint8_t>& bytes) {
        DWORD written = 0;
        ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ASSERT_EQ(written, bytes.size());
    }
    std::vector<std::uint8_t> read(std::size_t count) {
        std::vector<std::uint8_t> bytes(count);
        DWORD got = 0;
        ::ReadFile(handle_, bytes.data(), static_cast<DWORD>(count), &got, nullptr);
        bytes.resize(got);
        return bytes;
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class Win32SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (cable.tested.empty())
            GTEST_SKIP()
                << "no COM port pair (PELLION_TEST_COM_PAIR); scripts/wine-tests.sh lays one";
        ASSERT_TRUE(peer.isOpen()) << cable.partner;
    }

    // Opened and monitored: from here on, bytes that arrive are read.
    bool openNear() {
        return port.OpenPort(&owner, cable.tested, 31, kBaud, 0) && port.StartMonitor() &&
               owner.waitFor([&] { return port.threadAlive == 1; });
    }

    Cable cable = cableFromEnvironment();
    FarEnd peer{cable.partner};
    TestSerialOwner owner;
    CSerialPort port;
};

TEST_F(Win32SerialPortTest, HoldsThePortExclusivelyAndTellsAbsentPortsApart) {
    EXPECT_EQ(CSerialPort::ProbePort(cable.tested), PortAccess::Free);
    ASSERT_TRUE(openNear());
    EXPECT_EQ(CSerialPort::ProbePort(cable.tested), PortAccess::Busy);
    CSerialPort second;
    EXPECT_FALSE(second.OpenPort(&owner, cable.tested, 31, kBaud, 0));
    EXPECT_EQ(CSerialPort::ProbePort("COM250"), PortAccess::Absent);

    port.StopAndClose();
    EXPECT_EQ(CSerialPort::ProbePort(cable.tested), PortAccess::Free);
    EXPECT_TRUE(owner.errors().empty()) << owner.errors().front().text;
}

TEST_F(Win32SerialPortTest, WritesTheFrameAndDeliversASevenByteAnswerAtOnce) {
    ASSERT_TRUE(openNear());
    port.readLength = 7;
    const std::uint8_t frame[] = {0x02, 0xFD};
    port.QueueWrite(frame, 2);
    EXPECT_EQ(peer.read(2), std::vector<std::uint8_t>({0x02, 0xFD}));
    const std::vector<std::uint8_t> answer = {0x79, 0x01, 0x04, 0x10, 0x79, 0xAA, 0x55};
    peer.write(answer);

    ASSERT_TRUE(owner.waitForDeliveries(1));
    owner.serveFor(100ms);
    ASSERT_EQ(owner.deliveries.size(), 1u);
    EXPECT_EQ(owner.deliveries[0].first(7), answer);
    EXPECT_EQ(port.lastReadCount, 7);
    EXPECT_EQ(port.readLength, 1);
    EXPECT_TRUE(owner.deliveries[0].onOwnerThread);
}

TEST_F(Win32SerialPortTest, AShortAnswerIsDeliveredOnceWhenTheIntervalTimeoutExpires) {
    ASSERT_TRUE(openNear());
    ASSERT_TRUE(port.SetTimeouts({60, 0, 5000, 1000, 1000}));
    port.readLength = 7;
    const auto start = SteadyClock::now();
    peer.write({0x79, 0x1F, 0x79});

    ASSERT_TRUE(owner.waitForDeliveries(1));
    owner.serveFor(150ms);
    ASSERT_EQ(owner.deliveries.size(), 1u);
    EXPECT_EQ(owner.deliveries[0].first(3), std::vector<std::uint8_t>({0x79, 0x1F, 0x79}));
    EXPECT_EQ(port.lastReadCount, 3);
    // Ended by the interval after the last byte, not by the 5 s total.
    EXPECT_GE(owner.deliveries[0].at - start, 60ms);
    EXPECT_LT(owner.deliveries[0].at - start, 4s);
}

TEST_F(Win32SerialPortTest, AnIncompleteAnswerIsDeliveredAtTheTotalTimeout) {
    ASSERT_TRUE(openNear());
    ASSERT_TRUE(port.SetTimeouts({0, 0, 200, 1000, 1000}));
    port.readLength = 2;
    peer.write({0x1F});  // one byte of two: the total time-out ends the read

    ASSERT_TRUE(owner.waitForDeliveries(1));
    EXPECT_EQ(port.lastReadCount, 1);
    owner.serveFor(300ms);
    EXPECT_EQ(owner.deliveries.size(), 1u);
}

TEST_F(Win32SerialPortTest, AVanishedPortIsReportedOnceAndRefusesWrites) {
    if (cable.cutFile.empty())
        GTEST_SKIP() << "the cable cannot be cut (PELLION_TEST_COM_CUT)";
    ASSERT_TRUE(openNear());
    std::ofstream(cable.cutFile) << "cut\n";

    ASSERT_TRUE(owner.waitFor([&] { return !owner.lostPorts.empty(); }));
    owner.serveFor(300ms);
    EXPECT_EQ(owner.lostPorts.size(), 1u);
    EXPECT_TRUE(port.IsLost());
    const std::uint8_t frame[] = {0x7F};
    port.QueueWrite(frame, 1);  // dropped: nothing to write to
    owner.serveFor(100ms);
    EXPECT_EQ(owner.lostPorts.size(), 1u);
    port.StopAndClose();
}

}  // namespace
}  // namespace pellion
