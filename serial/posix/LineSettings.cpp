#include "serial/posix/LineSettings.h"

// The kernel's own termios2 (arbitrary rates through BOTHER); it cannot share a translation
// unit with the C library's <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace pellion::posix {

namespace {

void makeRaw(termios2& tio) {
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                     IXANY | INPCK | IUCLC | IMAXBEL);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

void makeEightEvenOne(termios2& tio, std::uint32_t baud) {
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARODD | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= CS8 | PARENB | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
}

LineSettings describe(const termios2& tio);

}  // namespace

std::optional<StepFailure> applyBootloaderLine(int fd, std::uint32_t baud) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return StepFailure{"ioctl(TCGETS2)", errno};
    if (baud == 0)
        return StepFailure{"termios2 baud rate", EINVAL};
    makeRaw(tio);
    makeEightEvenOne(tio, baud);
    if (ioctl(fd, TCSETS2, &tio) != 0)
        return StepFailure{"ioctl(TCSETS2)", errno};
    return std::nullopt;
}

std::optional<LineSettings> readLineSettings(int fd) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return std::nullopt;
    return describe(tio);
}

std::optional<StepFailure> keepLinesOnClose(int fd) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return StepFailure{"ioctl(TCGETS2)", errno};
    if ((tio.c_cflag & HUPCL) == 0)
        return std::nullopt;
    tio.c_cflag &= ~HUPCL;
    if (ioctl(fd, TCSETS2, &tio) != 0)
        return StepFailure{"ioctl(TCSETS2)", errno};
    return std::nullopt;
}

LineSettings bootloaderLineFromAnyState(std::uint32_t baud) {
    termios2 tio{};
    tio.c_iflag = tio.c_oflag = tio.c_cflag = tio.c_lflag = ~0u;
    makeRaw(tio);
    makeEightEvenOne(tio, baud);
    return describe(tio);
}

namespace {

LineSettings describe(const termios2& tio) {
    LineSettings s;
    s.baud = tio.c_ospeed;
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            s.dataBits = 5;
            break;
        case CS6:
            s.dataBits = 6;
            break;
        case CS7:
            s.dataBits = 7;
            break;
        default:
            s.dataBits = 8;
            break;
    }
    s.parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? 'O' : 'E') : 'N';
    s.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    s.hardwareFlowControl = (tio.c_cflag & CRTSCTS) != 0;
    s.softwareFlowControl = (tio.c_iflag & (IXON | IXOFF)) != 0;
    s.raw = !(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) && !(tio.c_oflag & OPOST) &&
            !(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP));
    s.receiverEnabled = (tio.c_cflag & CREAD) != 0;
    s.ignoresModemLines = (tio.c_cflag & CLOCAL) != 0;
    s.hangUpOnClose = (tio.c_cflag & HUPCL) != 0;
    return s;
}

}  // namespace

}  // namespace pellion::posix
