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

SerialErrorKind openErrorKind(int error) {
    switch (error) {
        case EBUSY:
        case EWOULDBLOCK:
            return SerialErrorKind::Busy;
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case EIO:  // a pseudo-terminal whose other side has gone
            return SerialErrorKind::Absent;
        case EACCES:
        case EPERM:
            return SerialErrorKind::Denied;
        case ENOTTY:
        case EISDIR:
            return SerialErrorKind::NotATerminal;
        default:
            return SerialErrorKind::Other;
    }
}

SerialErrorKind transferErrorKind(int error) {
    return isDeviceGoneError(error) ? SerialErrorKind::Gone : SerialErrorKind::Other;
}

SerialResult systemFailure(SerialErrorKind kind, const char* step, int error) {
    return SerialResult::failure(kind, step, systemErrorText(error));
}

}  // namespace pellion::posix
