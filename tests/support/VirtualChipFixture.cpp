#include "support/VirtualChipFixture.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pellion::test {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

VirtualChipFixture::VirtualChipFixture(std::size_t count, const sim::ChipOptions& options,
                                       Threading threading)
    : VirtualChipFixture(
          count, [&options](std::size_t) { return options; }, threading) {}

VirtualChipFixture::VirtualChipFixture(std::size_t count, const OptionsFor& optionsFor,
                                       Threading threading)
    : host_(threading) {
    for (std::size_t i = 0; i < count; ++i) {
        sim::ChipOptions options = optionsFor(i);
        if (options.serialNumber == 0)
            options.serialNumber = std::uint32_t(i + 1);
        auto added = host_.addChip(options);
        if (!added.chip) {
            error_ = "chip " + std::to_string(i) + ": " + added.error;
            return;
        }
    }
}

const std::string& VirtualChipFixture::devicePath(std::size_t index) const {
    return host_.chip(index).devicePath();
}

std::vector<std::string> VirtualChipFixture::devicePaths() const {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < host_.size(); ++i)
        paths.push_back(devicePath(i));
    return paths;
}

namespace {

speed_t speedConstant(std::uint32_t baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B115200;
    }
}

}  // namespace

RawChipLine::RawChipLine(const std::string& devicePath, std::uint32_t baud) {
    fd_ = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = devicePath + ": " + std::strerror(errno);
        return;
    }
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD | PARENB;
    tio.c_cflag &= ~(PARODD | CSTOPB);
    cfsetispeed(&tio, speedConstant(baud));
    cfsetospeed(&tio, speedConstant(baud));
    tcsetattr(fd_, TCSANOW, &tio);
    tcflush(fd_, TCIOFLUSH);
}

bool RawChipLine::setBaud(std::uint32_t baud) {
    termios tio{};
    if (fd_ < 0 || tcgetattr(fd_, &tio) != 0)
        return false;
    cfsetispeed(&tio, speedConstant(baud));
    cfsetospeed(&tio, speedConstant(baud));
    return tcsetattr(fd_, TCSADRAIN, &tio) == 0;
}

RawChipLine::~RawChipLine() {
    close();
}

void RawChipLine::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool RawChipLine::write(std::initializer_list<std::uint8_t> bytes) {
    return write(std::vector<std::uint8_t>(bytes));
}

bool RawChipLine::write(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    const auto deadline = SteadyClock::now() + std::chrono::seconds(5);
    while (done < bytes.size() && fd_ >= 0) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (SteadyClock::now() >= deadline)
            return false;
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 10);
    }
    return done == bytes.size();
}

std::vector<std::uint8_t> RawChipLine::read(std::size_t count, milliseconds timeout) {
    std::vector<std::uint8_t> out;
    const auto deadline = SteadyClock::now() + timeout;
    std::uint8_t chunk[512];
    while (out.size() < count && fd_ >= 0 && !hungUp_) {
        const ssize_t n = ::read(fd_, chunk, std::min(sizeof chunk, count - out.size()));
        if (n > 0) {
            out.insert(out.end(), chunk, chunk + n);
            continue;
        }
        if (n == 0 || (n < 0 && errno == EIO)) {
            hungUp_ = true;
            break;
        }
        const auto left =
            std::chrono::duration_cast<milliseconds>(deadline - SteadyClock::now()).count();
        if (left <= 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, int(left));
        if (p.revents & (POLLHUP | POLLERR)) {
            // Whatever was sent before the hang-up can still be read once.
            const ssize_t last = ::read(fd_, chunk, std::min(sizeof chunk, count - out.size()));
            if (last > 0)
                out.insert(out.end(), chunk, chunk + last);
            hungUp_ = true;
        }
    }
    return out;
}

std::vector<std::uint8_t> RawChipLine::readUntilQuiet(milliseconds quiet, milliseconds timeout) {
    std::vector<std::uint8_t> out;
    const auto deadline = SteadyClock::now() + timeout;
    while (SteadyClock::now() < deadline && !hungUp_) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - SteadyClock::now());
        auto more = read(4096, std::min(quiet, left));
        if (more.empty())
            break;
        out.insert(out.end(), more.begin(), more.end());
    }
    return out;
}

}  // namespace pellion::test
