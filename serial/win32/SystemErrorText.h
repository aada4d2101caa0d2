#pragma once

#include <string>

namespace pellion::win32 {

// The system's own words for a Win32 error code (FormatMessage), as an operator reads them in
// an error box; UTF-8.
std::string systemErrorText(int error);

// Errors that mean the device behind an open handle has gone (unplugged, driver removed, the
// line hung up).
bool isDeviceGoneError(int error);

}  // namespace pellion::win32
