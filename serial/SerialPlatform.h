#pragma once

// The serial platform layer this build uses: one device class, its error words and the names
// of its calls, picked at build time. Nothing above serial/ includes this.
#ifdef _WIN32
#include "serial/win32/SerialDevice.h"
#include "serial/win32/SystemErrorText.h"
#else
#include "serial/posix/SerialDevice.h"
#include "serial/posix/SystemErrorText.h"
#endif

namespace pellion {

#ifdef _WIN32
namespace platform = win32;
#else
namespace platform = posix;
#endif

// The calls that ReportError names: the operator reads the platform's own words.
struct SerialCallNames {
    const char* queued;
    const char* read;
    const char* waitInRead;
    const char* write;
};

#ifdef _WIN32
inline constexpr SerialCallNames kSerialCalls{
    "ClearCommError()", "ReadFile()", "WaitForMultipleObjects() in ReadFile()", "WriteFile()"};
#else
inline constexpr SerialCallNames kSerialCalls{"ioctl(FIONREAD)", "read()", "poll() in read()",
                                              "write()"};
#endif

}  // namespace pellion
