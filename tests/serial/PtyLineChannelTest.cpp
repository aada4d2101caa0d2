#include "serial/posix/PtyLineChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <filesystem>

#include "support/PtyPair.h"
#include "support/VirtualChipFixture.h"

namespace pellion::test {
namespace {

using posix::LineChannelError;
using posix::PtyLineChannel;

// One raw request to a device's endpoint, written by hand from the documented format.
int rawExchange(const std::string& devicePath, std::uint8_t request) {
    const std::string name = "pellion-lines:" + devicePath;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int answer = -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address),
                  socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size())) == 0 &&
        ::send(fd, &request, 1, MSG_NOSIGNAL) == 1) {
        pollfd p{fd, POLLIN, 0};
        std::uint8_t byte = 0;
        if (::poll(&p, 1, 2000) == 1 && ::recv(fd, &byte, 1, 0) == 1)
            answer = byte;
    }
    ::close(fd);
    return answer;
}

TEST(PtyLineChannelTest, SetsAVirtualChipsLinesAndFindsNoEndpointOnAPlainTerminal) {
    PtyPair plain;
    ASSERT_TRUE(plain.ok()) << plain.error();
    PtyLineChannel none;
    const auto missing = none.open(plain.slavePath());
    EXPECT_EQ(missing.error, LineChannelError::NoEndpoint);
    EXPECT_NE(missing.message.find(plain.slavePath()), std::string::npos) << missing.message;
    EXPECT_EQ(none.setLines(true, true).error, LineChannelError::Failed) << "not open";

    VirtualChipFixture chips(1);
    ASSERT_TRUE(chips.ok()) << chips.error();
    // Through a link, as the window sees virtual chips: the endpoint is the terminal's.
    char dir[] = "/tmp/pellion-lines-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const auto link = std::filesystem::path(dir) / "chip0";
    std::filesystem::create_symlink(chips.devicePath(0), link);
    PtyLineChannel channel;
    ASSERT_TRUE(channel.open(link.string()).ok());

    auto result = channel.setLines(true, std::nullopt);
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_TRUE(result.dtr);
    EXPECT_FALSE(result.rts);
    result = channel.setLines(std::nullopt, true);
    EXPECT_TRUE(result.dtr && result.rts) << "each line keeps its level unless set";
    EXPECT_TRUE(chips.chip(0).board().lines.dtr) << "in effect when the answer came";
    result = channel.setLines(false, std::nullopt);
    EXPECT_FALSE(result.dtr);
    EXPECT_TRUE(result.rts);

    // The format byte by byte: asking only, setting both, and a refused request.
    channel.close();
    EXPECT_EQ(rawExchange(chips.devicePath(0), 0x00), 0x80 | 0x02) << "levels kept after close";
    EXPECT_EQ(rawExchange(chips.devicePath(0), 0x04 | 0x08 | 0x01), 0x80 | 0x01);
    EXPECT_EQ(rawExchange(chips.devicePath(0), 0x10), 0x00);
    EXPECT_TRUE(chips.chip(0).board().lines.dtr);

    // A line closed for good gives its name up before its terminal's number is free again.
    const std::string path = chips.devicePath(0);
    chips.chip(0).disconnect();
    EXPECT_EQ(channel.open(path).error, LineChannelError::NoEndpoint);
    VirtualChipFixture next(1);
    ASSERT_TRUE(next.ok()) << next.error();
    ASSERT_TRUE(channel.open(next.devicePath(0)).ok());

    // The simulator going away: the open channel fails, a new one finds no endpoint.
    next.host().stop();
    EXPECT_EQ(channel.setLines(true, true).error, LineChannelError::Failed);
    EXPECT_EQ(channel.open(next.devicePath(0)).error, LineChannelError::NoEndpoint);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace pellion::test
