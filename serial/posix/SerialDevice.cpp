#include "serial/posix/SerialDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace pellion::posix {

namespace {

int openExclusive(const std::string& path, bool keepExclusiveMode) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    // The advisory lock stops a second opener running as root, whom the terminal's exclusive
    // mode lets through; the exclusive mode stops openers that do not take the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return -err;
    }
    if (keepExclusiveMode && ::ioctl(fd, TIOCEXCL) != 0) {
        const int err = errno;  // ENOTTY: not a terminal, so not a serial port
        ::close(fd);
        return -err;
    }
    return fd;
}

}  // namespace

SerialDevice::SerialDevice() : doorbell_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

SerialDevice::~SerialDevice() {
    close();
    if (doorbell_ >= 0)
        ::close(doorbell_);
}

int SerialDevice::open(const std::string& path) {
    close();
    if (doorbell_ < 0)
        doorbell_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (doorbell_ < 0)
        return errno;
    const int fd = openExclusive(path, true);
    if (fd < 0)
        return -fd;
    fd_ = fd;
    drainDoorbell();
    return 0;
}

void SerialDevice::close() {
    if (fd_ < 0)
        return;
    // A pseudo-terminal's slave keeps its flags while the master lives; leave it shareable.
    ::ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

PortAccess SerialDevice::probe(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return errno == EACCES ? PortAccess::Denied : PortAccess::Absent;
    // Opening a fifo would block, and a plain file is no line: neither is opened at all.
    if (!S_ISCHR(info.st_mode))
        return PortAccess::NotATerminal;
    const int fd = openExclusive(path, false);
    if (fd < 0) {
        switch (-fd) {
            case ENOENT:
            case ENXIO:
            case ENODEV:
                return PortAccess::Absent;
            case EACCES:
            case EPERM:
                return PortAccess::Denied;
            default:
                return PortAccess::Busy;
        }
    }
    const bool terminal = ::isatty(fd) == 1;
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return terminal ? PortAccess::Free : PortAccess::NotATerminal;
}

std::optional<StepFailure> SerialDevice::configure(std::uint32_t baud) {
    return applyBootloaderLine(fd_, baud);
}

std::optional<StepFailure> SerialDevice::raiseRts() {
    int bits = TIOCM_RTS;
    if (::ioctl(fd_, TIOCMBIS, &bits) == 0)
        return std::nullopt;
    if (errno == ENOTTY || errno == EINVAL)
        return std::nullopt;
    return StepFailure{"ioctl(TIOCMBIS)", errno};
}

void SerialDevice::requestLowLatency() {
    serial_struct info{};
    if (::ioctl(fd_, TIOCGSERIAL, &info) != 0)
        return;
    if (info.flags & ASYNC_LOW_LATENCY)
        return;
    info.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd_, TIOCSSERIAL, &info);
}

void SerialDevice::purge(bool input, bool output) {
    if (fd_ < 0 || (!input && !output))
        return;
    ::tcflush(fd_, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH);
}

int SerialDevice::queuedBytes() const {
    int queued = 0;
    if (::ioctl(fd_, FIONREAD, &queued) != 0)
        return -errno;
    return queued;
}

TransferOutcome SerialDevice::readSome(std::uint8_t* buffer, std::size_t length) {
    TransferOutcome out;
    const ssize_t n = ::read(fd_, buffer, length);
    if (n > 0) {
        out.count = static_cast<std::size_t>(n);
    } else if (n == 0) {
        out.endOfFile = length > 0;
    } else {
        out.error = errno == EWOULDBLOCK ? EAGAIN : errno;
    }
    return out;
}

TransferOutcome SerialDevice::writeSome(const std::uint8_t* buffer, std::size_t length) {
    TransferOutcome out;
    const ssize_t n = ::write(fd_, buffer, length);
    if (n >= 0) {
        out.count = static_cast<std::size_t>(n);
    } else {
        out.error = errno == EWOULDBLOCK ? EAGAIN : errno;
    }
    return out;
}

WaitOutcome SerialDevice::wait(bool watchInput, bool watchOutput, int timeoutMs) {
    return waitOn(fd_ >= 0, watchInput, watchOutput, timeoutMs);
}

WaitOutcome SerialDevice::waitForDoorbell(int timeoutMs) {
    return waitOn(false, false, false, timeoutMs);
}

WaitOutcome SerialDevice::waitOn(bool watchDevice, bool watchInput, bool watchOutput,
                                 int timeoutMs) {
    WaitOutcome out;
    pollfd fds[2] = {
        {doorbell_, POLLIN, 0},
        {fd_, static_cast<short>((watchInput ? POLLIN : 0) | (watchOutput ? POLLOUT : 0)), 0},
    };
    const int n = ::poll(fds, watchDevice ? 2 : 1, timeoutMs);
    if (n < 0) {
        if (errno == EINTR) {
            out.rang = true;  // let the caller re-test its flags
        } else {
            out.error = errno;
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
        out.hungUp = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        out.readable = (fds[1].revents & POLLIN) != 0;
    }
    return out;
}

void SerialDevice::ring() {
    if (doorbell_ < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(doorbell_, &one, sizeof one);
}

void SerialDevice::drainDoorbell() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto drained = ::read(doorbell_, &count, sizeof count);
}

}  // namespace pellion::posix
