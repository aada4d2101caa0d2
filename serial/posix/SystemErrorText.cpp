#include "serial/posix/SystemErrorText.h"

#include <cerrno>
#include <cstring>

namespace pellion::posix {

std::string systemErrorText(int error) {
    char buffer[256];
    // The GNU variant returns a pointer that may or may not be the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text ? std::string(text) : "Unknown error " + std::to_string(error);
}

bool isDeviceGoneError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

}  // namespace pellion::posix
