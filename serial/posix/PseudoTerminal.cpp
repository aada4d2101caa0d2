#include "serial/posix/PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pellion::posix {

namespace {

std::string failure(const char* step, int err) {
    return std::string(step) + " failed: " + std::strerror(err);
}

}  // namespace

PseudoTerminal openPseudoTerminal() {
    PseudoTerminal pty;
    const int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0) {
        pty.error = failure("posix_openpt()", errno);
        return pty;
    }
    auto fail = [&](const char* step) {
        pty.error = failure(step, errno);
        ::close(fd);
        return pty;
    };
    if (grantpt(fd) != 0)
        return fail("grantpt()");
    if (unlockpt(fd) != 0)
        return fail("unlockpt()");
    char name[128];
    if (ptsname_r(fd, name, sizeof name) != 0)
        return fail("ptsname()");

    // Terminal settings of a pair live on the slave side; the master's own settings are fixed
    // and already raw, and termios calls on the master reach the slave's.
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return fail("tcgetattr()");
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        return fail("tcsetattr()");

    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("fcntl(O_NONBLOCK)");
    if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0)
        return fail("fcntl(FD_CLOEXEC)");

    pty.masterFd = fd;
    pty.slavePath = name;
    return pty;
}

}  // namespace pellion::posix
