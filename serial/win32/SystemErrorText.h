#pragma once

#include <string>

#include "serial/SerialDevice.h"

namespace pellion::win32 {

// The system's own words for a Win32 error code (FormatMessage), as an operator reads them in
// an error box; UTF-8.
std::string systemErrorText(int error);

// Errors that mean the device behind an open handle has gone (unplugged, driver removed, the
// line hung up).
bool isDeviceGoneError(int error);

// What a failed CreateFile of a port means: absent, held by another opener, or something else.
SerialErrorKind openErrorKind(int error);

}  // namespace pellion::win32
