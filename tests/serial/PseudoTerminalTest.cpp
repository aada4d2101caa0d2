#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vector>

#include "support/PtyPair.h"

using namespace std::chrono_literals;
using pellion::test::PtyPair;

namespace {

std::vector<std::uint8_t> readSlave(int fd, std::size_t count) {
    std::vector<std::uint8_t> out;
    while (out.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0)
            break;
        std::uint8_t buf[64];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

}  // namespace

// Control characters a line discipline would eat or translate must pass untouched both ways:
// the bootloader's sync byte 0x7F is the terminal's erase character, 0x03 its interrupt.
TEST(PseudoTerminal, PassesEveryByteValueUnchangedBothWays) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok()) << pty.error();
    const int slave = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave, 0);

    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    ASSERT_TRUE(pty.write(all));
    EXPECT_EQ(readSlave(slave, all.size()), all);

    const std::uint8_t back[] = {0x7F, 0x0D, 0x0A, 0x03, 0x11, 0x13, 0x04, 0x00};
    ASSERT_EQ(::write(slave, back, sizeof back), static_cast<ssize_t>(sizeof back));
    EXPECT_EQ(pty.read(sizeof back, 2s), std::vector<std::uint8_t>(back, back + sizeof back));
    ::close(slave);
}

TEST(PseudoTerminal, ClosingTheMasterHangsUpTheSlave) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok()) << pty.error();
    const int slave = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave, 0);
    pty.closeMaster();
    pollfd p{slave, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    EXPECT_FALSE(pty.write({0x79}));
    ::close(slave);
}

TEST(PseudoTerminal, ReadGivesUpAfterItsTimeoutWithWhatArrived) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok()) << pty.error();
    const int slave = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave, 0);
    const std::uint8_t two[] = {0x79, 0x1F};
    ASSERT_EQ(::write(slave, two, 2), 2);
    EXPECT_EQ(pty.read(5, 100ms), (std::vector<std::uint8_t>{0x79, 0x1F}));
    ::close(slave);
}
