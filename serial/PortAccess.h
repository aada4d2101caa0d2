#pragma once

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

}  // namespace pellion
