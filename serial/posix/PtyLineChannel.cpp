#include "serial/posix/PtyLineChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "serial/posix/SystemErrorText.h"

namespace pellion::posix {

namespace {

LineChannelResult failure(LineChannelError error, std::string message) {
    LineChannelResult result;
    result.error = error;
    result.message = std::move(message);
    return result;
}

}  // namespace

std::string ptyLineEndpointName(const std::string& devicePath) {
    char resolved[PATH_MAX];
    const bool canonical = ::realpath(devicePath.c_str(), resolved) != nullptr;
    return "pellion-lines:" + (canonical ? std::string(resolved) : devicePath);
}

PtyLineChannel::~PtyLineChannel() {
    close();
}

void PtyLineChannel::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

LineChannelResult PtyLineChannel::open(const std::string& devicePath) {
    close();
    devicePath_ = devicePath;
    const std::string name = ptyLineEndpointName(devicePath);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.size() + 1 > sizeof address.sun_path)
        return failure(LineChannelError::NoEndpoint, "no line endpoint for " + devicePath);
    std::memcpy(address.sun_path + 1, name.data(), name.size());  // abstract: leading NUL
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());

    // Non-blocking, so a listener with a full backlog cannot hold the owner thread.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return failure(LineChannelError::Failed, "socket(): " + systemErrorText(errno));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == ECONNREFUSED || error == ENOENT)
            return failure(LineChannelError::NoEndpoint, "no line endpoint for " + devicePath);
        return failure(LineChannelError::Failed,
                       "line endpoint of " + devicePath + ": " + systemErrorText(error));
    }
    fd_ = fd;
    return {};
}

LineChannelResult PtyLineChannel::setLines(std::optional<bool> dtr, std::optional<bool> rts,
                                           std::chrono::milliseconds timeout) {
    if (fd_ < 0)
        return failure(LineChannelError::Failed, "line endpoint not open");
    using namespace ptyline;
    std::uint8_t request = 0;
    if (dtr)
        request |= std::uint8_t(kSetDtr | (*dtr ? kDtr : 0));
    if (rts)
        request |= std::uint8_t(kSetRts | (*rts ? kRts : 0));
    const std::string where = "line endpoint of " + devicePath_;
    ssize_t sent;
    do {
        sent = ::send(fd_, &request, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    if (sent != 1)
        return failure(LineChannelError::Failed, where + ": " + systemErrorText(errno));

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::uint8_t answer = 0;
    while (true) {
        const ssize_t n = ::recv(fd_, &answer, 1, MSG_DONTWAIT);
        if (n == 1)
            break;
        if (n == 0)
            return failure(LineChannelError::Failed, where + " closed");
        if (errno != EAGAIN && errno != EINTR)
            return failure(LineChannelError::Failed, where + ": " + systemErrorText(errno));
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        if (left.count() <= 0 ||
            (::poll(&p, 1, int(left.count())) == 0 && std::chrono::steady_clock::now() >= deadline))
            return failure(LineChannelError::Failed, where + " did not answer");
    }
    if ((answer & kAnswered) == 0)
        return failure(LineChannelError::Failed, where + " refused the change");
    LineChannelResult result;
    result.dtr = (answer & kDtr) != 0;
    result.rts = (answer & kRts) != 0;
    return result;
}

}  // namespace pellion::posix
