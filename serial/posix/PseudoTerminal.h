#pragma once

#include <string>

namespace pellion::posix {

// A pseudo-terminal pair: the master end stands in for the far side of a serial cable (a test
// peer or a virtual chip), the slave device path is opened like any serial port.
struct PseudoTerminal {
    int masterFd = -1;      // O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC; the caller closes it
    std::string slavePath;  // e.g. /dev/pts/7
    std::string error;      // empty on success

    bool ok() const { return masterFd >= 0 && error.empty(); }
};

// Creates a pair with both ends in raw mode (no echo, no line editing, no CR/LF translation,
// 8 data bits). Closing the master later makes the slave hang up, which is how an unplugged
// adapter looks to the port.
PseudoTerminal openPseudoTerminal();

}  // namespace pellion::posix
