#pragma once

#include <string>

namespace pellion::posix {

// The system's own words for an errno value, as an operator reads them in an error box.
std::string systemErrorText(int error);

// Errors that mean the device behind an open descriptor has gone (unplugged, hung up).
bool isDeviceGoneError(int error);

}  // namespace pellion::posix
