#pragma once

#include <string>

namespace pellion {

// Whether a device could be opened as a serial port right now and, when not, why: each reason
// reaches the operator in its own words.
enum class PortAccess {
    Free,
    Busy,          // held by another opener
    Absent,        // no such device (unplugged, mistyped)
    NotATerminal,  // a file or a device that is no serial line
    Denied,        // the user may not open it
};

// Tells without opening the device, so no line moves (opening a port raises its lines on some
// platforms). Busy only where a lock shows another opener; one that holds the device without a
// lock the platform can see is found by the open itself.
PortAccess probePortAccess(const std::string& devicePath);

}  // namespace pellion
