#include "support/PtyPair.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "serial/posix/PseudoTerminal.h"

namespace pellion::test {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

int remainingMs(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<milliseconds>(deadline - SteadyClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

PtyPair::PtyPair() {
    auto pty = posix::openPseudoTerminal();
    if (!pty.ok()) {
        error_ = pty.error;
        return;
    }
    masterFd_ = pty.masterFd;
    slavePath_ = pty.slavePath;
}

PtyPair::~PtyPair() {
    closeMaster();
}

void PtyPair::closeMaster() {
    if (masterFd_ >= 0)
        ::close(masterFd_);
    masterFd_ = -1;
}

bool PtyPair::write(std::initializer_list<std::uint8_t> bytes) {
    return write(std::vector<std::uint8_t>(bytes));
}

bool PtyPair::write(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    const auto deadline = SteadyClock::now() + std::chrono::seconds(5);
    while (done < bytes.size()) {
        if (masterFd_ < 0)
            return false;
        const ssize_t n = ::write(masterFd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (SteadyClock::now() >= deadline)
            return false;
        pollfd p{masterFd_, POLLOUT, 0};
        ::poll(&p, 1, 10);
    }
    return true;
}

std::vector<std::uint8_t> PtyPair::read(std::size_t count, milliseconds timeout) {
    std::vector<std::uint8_t> out;
    const auto deadline = SteadyClock::now() + timeout;
    std::uint8_t chunk[256];
    while (out.size() < count && masterFd_ >= 0) {
        const std::size_t want = std::min(sizeof chunk, count - out.size());
        const ssize_t n = ::read(masterFd_, chunk, want);
        if (n > 0) {
            out.insert(out.end(), chunk, chunk + n);
            continue;
        }
        const int wait = remainingMs(deadline);
        if (wait == 0)
            break;
        // EIO: no slave is open at the moment; the master then polls as hung up, so wait a
        // little instead of spinning.
        if (n < 0 && errno == EIO) {
            std::this_thread::sleep_for(milliseconds(1));
            continue;
        }
        pollfd p{masterFd_, POLLIN, 0};
        if (::poll(&p, 1, wait) > 0 && !(p.revents & POLLIN)) {
            std::this_thread::sleep_for(milliseconds(1));
        }
    }
    return out;
}

std::vector<std::uint8_t> PtyPair::readUntilQuiet(milliseconds quiet, milliseconds timeout) {
    std::vector<std::uint8_t> out;
    const auto deadline = SteadyClock::now() + timeout;
    while (SteadyClock::now() < deadline) {
        auto more = read(256, std::min(quiet, milliseconds(remainingMs(deadline))));
        if (more.empty())
            break;
        out.insert(out.end(), more.begin(), more.end());
    }
    return out;
}

}  // namespace pellion::test
