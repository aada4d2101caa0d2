#pragma once

#include <string>

#include "serial/SerialDevice.h"

namespace pellion::posix {

// The system's own words for an errno value, as an operator reads them in an error box.
std::string systemErrorText(int error);

// Errors that mean the device behind an open descriptor has gone (unplugged, hung up).
bool isDeviceGoneError(int error);

// The portable kind of an errno value from opening a device, and from using an open one.
SerialErrorKind openErrorKind(int error);
SerialErrorKind transferErrorKind(int error);

// A failed call: its kind, the call and the system's words for `error`.
SerialResult systemFailure(SerialErrorKind kind, const char* step, int error);

}  // namespace pellion::posix
