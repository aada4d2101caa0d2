#include "serial/win32/SystemErrorText.h"

#include <windows.h>

#include "serial/win32/WideText.h"

namespace pellion::win32 {

std::string systemErrorText(int error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr)
        return "Error " + std::to_string(static_cast<unsigned long>(error));
    std::wstring words(text, length);
    ::LocalFree(text);
    while (!words.empty() &&
           (words.back() == L'\n' || words.back() == L'\r' || words.back() == L' '))
        words.pop_back();
    return toUtf8(words);
}

bool isDeviceGoneError(int error) {
    switch (static_cast<DWORD>(error)) {
        case ERROR_ACCESS_DENIED:  // a USB adapter pulled while open
        case ERROR_INVALID_HANDLE:
        case ERROR_NOT_READY:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_HANDLE_EOF:
        case ERROR_BROKEN_PIPE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_IO_DEVICE:
            return true;
        default:
            return false;
    }
}

SerialErrorKind openErrorKind(int error) {
    switch (static_cast<DWORD>(error)) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return SerialErrorKind::Absent;
        case ERROR_ACCESS_DENIED:  // what Windows answers a second opener of a port
        case ERROR_SHARING_VIOLATION:
            return SerialErrorKind::Busy;
        default:
            return SerialErrorKind::Other;
    }
}

}  // namespace pellion::win32
