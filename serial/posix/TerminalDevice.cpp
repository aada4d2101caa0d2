#include "serial/posix/TerminalDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "serial/posix/LineSettings.h"
#include "serial/posix/SystemErrorText.h"

namespace pellion {

std::unique_ptr<SerialDevice> makeSerialDevice() {
    return std::make_unique<posix::TerminalDevice>();
}

namespace posix {

namespace {

SerialResult failedOpen(const char* step, int error) {
    return systemFailure(openErrorKind(error), step, error);
}

// Lets a second opener running as root, whom the terminal's exclusive mode lets through, find
// the advisory lock; the exclusive mode stops openers that do not take the lock.
SerialResult lockExclusively(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return failedOpen("flock()", errno == EWOULDBLOCK ? EBUSY : errno);
    if (::ioctl(fd, TIOCEXCL) != 0)
        return failedOpen("ioctl(TIOCEXCL)", errno);  // ENOTTY: no terminal, no serial port
    return {};
}

// USB-serial adapters otherwise hold received bytes back for their latency timer. Ignored where
// the driver has no such mode.
void requestLowLatency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY))
        return;
    info.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &info);
}

bool noModemLines(int error) {
    return error == ENOTTY || error == EINVAL;
}

}  // namespace

TerminalDevice::TerminalDevice() : doorbell_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

TerminalDevice::~TerminalDevice() {
    close();
    if (doorbell_ >= 0)
        ::close(doorbell_);
}

SerialResult TerminalDevice::open(const std::string& path) {
    close();
    if (doorbell_ < 0)
        doorbell_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (doorbell_ < 0)
        return systemFailure(SerialErrorKind::Other, "eventfd()", errno);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return failedOpen("open()", errno);
    SerialResult result = lockExclusively(fd);
    if (result.ok()) {
        if (const auto failure = keepLinesOnClose(fd))
            result = systemFailure(SerialErrorKind::Other, failure->step, failure->error);
    }
    if (!result.ok()) {
        ::close(fd);
        return result;
    }
    fd_ = fd;
    path_ = path;
    // The kernel raises both lines as it opens a port; RTS once more for drivers that do not.
    modemLevels_ = {};
    setModemLines({std::nullopt, true});
    drainDoorbell();
    return {};
}

void TerminalDevice::close() {
    lineChannel_.close();
    if (fd_ < 0)
        return;
    // A pseudo-terminal's slave keeps its flags while the master lives; leave it shareable.
    ::ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

SerialResult TerminalDevice::configure(std::uint32_t baud) {
    // Leaving B0 raises both lines on most drivers: the levels set before are put back.
    const auto before = readLineSettings(fd_);
    const auto failure = applyBootloaderLine(fd_, baud);
    requestLowLatency(fd_);
    if (failure)
        return systemFailure(transferErrorKind(failure->error), failure->step, failure->error);
    if (before && before->baud == 0 && (modemLevels_.dtr || modemLevels_.rts))
        setModemLines(modemLevels_);
    return {};
}

int TerminalDevice::setModemLines(const LineLevels& levels) {
    int raise = 0;
    int lower = 0;
    if (levels.dtr)
        (*levels.dtr ? raise : lower) |= TIOCM_DTR;
    if (levels.rts)
        (*levels.rts ? raise : lower) |= TIOCM_RTS;
    if (raise != 0 && ::ioctl(fd_, TIOCMBIS, &raise) != 0)
        return errno;
    if (lower != 0 && ::ioctl(fd_, TIOCMBIC, &lower) != 0)
        return errno;
    if (levels.dtr)
        modemLevels_.dtr = levels.dtr;
    if (levels.rts)
        modemLevels_.rts = levels.rts;
    return 0;
}

SerialResult TerminalDevice::setLines(const LineLevels& levels) {
    if (fd_ < 0)
        return systemFailure(SerialErrorKind::Other, "DTR/RTS", EBADF);
    if (!lineChannel_.isOpen()) {
        const int error = setModemLines(levels);
        if (error == 0)
            return {};
        if (!noModemLines(error))
            return systemFailure(transferErrorKind(error), "ioctl(TIOCMSET)", error);
        const auto opened = lineChannel_.open(path_);
        if (opened.error == LineChannelError::NoEndpoint)
            return SerialResult::failure(SerialErrorKind::NoLines, "DTR/RTS", opened.message);
        if (!opened.ok())
            return SerialResult::failure(SerialErrorKind::Other, "DTR/RTS", opened.message);
    }
    const auto set = lineChannel_.setLines(levels.dtr, levels.rts, kLineAnswerTimeout);
    if (!set.ok())
        return SerialResult::failure(SerialErrorKind::Other, "DTR/RTS", set.message);
    return {};
}

void TerminalDevice::purge(bool input, bool output) {
    if (fd_ < 0 || (!input && !output))
        return;
    ::tcflush(fd_, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH);
}

SerialResult TerminalDevice::drain() {
    while (::tcdrain(fd_) != 0) {
        if (errno != EINTR)
            return systemFailure(transferErrorKind(errno), "tcdrain()", errno);
    }
    return {};
}

SerialTransfer TerminalDevice::bytesQueued() {
    int queued = 0;
    if (::ioctl(fd_, FIONREAD, &queued) != 0)
        return {0, systemFailure(transferErrorKind(errno), "ioctl(FIONREAD)", errno)};
    return {static_cast<std::size_t>(queued), {}};
}

SerialTransfer TerminalDevice::read(std::uint8_t* buffer, std::size_t length) {
    while (true) {
        const ssize_t n = ::read(fd_, buffer, length);
        if (n > 0)
            return {static_cast<std::size_t>(n), {}};
        if (n == 0)  // the line hung up
            return {0, length > 0 ? systemFailure(SerialErrorKind::Gone, "read()", EIO)
                                  : SerialResult{}};
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {};
        if (errno != EINTR)
            return {0, systemFailure(transferErrorKind(errno), "read()", errno)};
    }
}

SerialTransfer TerminalDevice::write(const std::uint8_t* buffer, std::size_t length) {
    while (true) {
        const ssize_t n = ::write(fd_, buffer, length);
        if (n >= 0)
            return {static_cast<std::size_t>(n), {}};
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {};
        if (errno != EINTR)
            return {0, systemFailure(transferErrorKind(errno), "write()", errno)};
    }
}

SerialWait TerminalDevice::wait(bool readable, bool writable, int timeoutMs) {
    return waitOn(fd_ >= 0, readable, writable, timeoutMs);
}

SerialWait TerminalDevice::waitForDoorbell(int timeoutMs) {
    return waitOn(false, false, false, timeoutMs);
}

SerialWait TerminalDevice::waitOn(bool watchDevice, bool readable, bool writable, int timeoutMs) {
    SerialWait out;
    pollfd fds[2] = {
        {doorbell_, POLLIN, 0},
        {fd_, static_cast<short>((readable ? POLLIN : 0) | (writable ? POLLOUT : 0)), 0},
    };
    const int n = ::poll(fds, watchDevice ? 2 : 1, timeoutMs);
    if (n < 0) {
        if (errno == EINTR) {
            out.rang = true;  // let the caller re-test its flags
        } else {
            out.result = systemFailure(SerialErrorKind::Other, "poll()", errno);
        }
        return out;
    }
    if (n == 0) {
        out.timedOut = true;
        return out;
    }
    if (fds[0].revents & POLLIN) {
        out.rang = true;
        drainDoorbell();
    }
    if (watchDevice) {
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
            out.result = systemFailure(SerialErrorKind::Gone, "poll()", EIO);
        out.readable = (fds[1].revents & POLLIN) != 0;
    }
    return out;
}

void TerminalDevice::ring() {
    if (doorbell_ < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(doorbell_, &one, sizeof one);
}

void TerminalDevice::drainDoorbell() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto drained = ::read(doorbell_, &count, sizeof count);
}

}  // namespace posix
}  // namespace pellion
