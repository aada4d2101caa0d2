#include "serial/win32/SerialDevice.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "serial/win32/SystemErrorText.h"
#include "serial/win32/WideText.h"

namespace pellion::win32 {

struct SerialDevice::Overlapped : OVERLAPPED {};

namespace {

constexpr DWORD kQueueSize = 4096;
constexpr DWORD kWriteBoundMs = 1000;
// How long the pending first-byte read waits before it is started again.
constexpr DWORD kFirstByteWaitMs = 60000;

HANDLE newEvent(bool manualReset) {
    return ::CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

void closeHandle(Handle& handle) {
    if (handle != nullptr)
        ::CloseHandle(handle);
    handle = nullptr;
}

int errorCode(DWORD error) {
    // EAGAIN and EINTR keep their POSIX meaning for the port above; no call of ours ends in
    // those two Win32 codes, so they are told apart by value.
    if (error == static_cast<DWORD>(EAGAIN) || error == static_cast<DWORD>(EINTR))
        return static_cast<int>(ERROR_GEN_FAILURE);
    return static_cast<int>(error);
}

int lastError() {
    return errorCode(::GetLastError());
}

// A port that cannot drive its modem lines answers one of these.
bool isNoLinesError(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED;
}

// An overlapped call's event with its low-order bit set: the result is not queued to a
// completion port (none is bound to the port), which spares that system call per transfer.
HANDLE untracked(HANDLE event) {
    return reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(event) | 1);
}

// Completes an overlapped call that may have been left pending.
bool finish(HANDLE port, OVERLAPPED& ov, BOOL started, DWORD& count) {
    if (started)
        return ::GetOverlappedResult(port, &ov, &count, FALSE) != 0;
    if (::GetLastError() != ERROR_IO_PENDING)
        return false;
    return ::GetOverlappedResult(port, &ov, &count, TRUE) != 0;
}

// "COM3" whatever way the port was named: the guard's name.
std::wstring guardName(const std::string& path) {
    std::string name = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return L"Local\\pellion-serial-" + toWide(name);
}

bool guardExists(const std::string& path) {
    HANDLE guard = ::OpenMutexW(SYNCHRONIZE, FALSE, guardName(path).c_str());
    if (guard == nullptr)
        return false;
    ::CloseHandle(guard);
    return true;
}

}  // namespace

SerialDevice::SerialDevice()
    : doorbell_(newEvent(false)),
      firstByteEvent_(newEvent(true)),
      readEvent_(newEvent(true)),
      writeEvent_(newEvent(true)),
      firstByteOverlapped_(new Overlapped{}) {}

SerialDevice::~SerialDevice() {
    close();
    closeHandle(doorbell_);
    closeHandle(firstByteEvent_);
    closeHandle(readEvent_);
    closeHandle(writeEvent_);
    delete firstByteOverlapped_;
}

std::string SerialDevice::devicePathOf(const std::string& path) {
    if (path.rfind("\\\\", 0) == 0)
        return path;
    return "\\\\.\\" + path;
}

int SerialDevice::open(const std::string& path) {
    close();
    HANDLE guard = ::CreateMutexW(nullptr, FALSE, guardName(path).c_str());
    if (guard == nullptr)
        return lastError();
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(guard);
        return static_cast<int>(ERROR_ACCESS_DENIED);  // what Windows answers a second opener
    }
    HANDLE port = ::CreateFileW(toWide(devicePathOf(path)).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const int error = lastError();
        ::CloseHandle(guard);
        return error;
    }
    port_ = port;
    guard_ = guard;
    ::SetupComm(port_, kQueueSize, kQueueSize);
    ::ResetEvent(doorbell_);
    rang_ = false;
    std::lock_guard lock(heldMutex_);
    held_.reset();
    return 0;
}

void SerialDevice::close() {
    if (port_ == nullptr)
        return;
    settleFirstByte(true);
    ::CloseHandle(port_);
    port_ = nullptr;
    closeHandle(guard_);
}

PortAccess SerialDevice::probe(const std::string& path) {
    if (guardExists(path))
        return PortAccess::Busy;
    HANDLE port = ::CreateFileW(toWide(devicePathOf(path)).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        switch (openErrorKind(static_cast<int>(::GetLastError()))) {
            case SerialErrorKind::Absent:
                return PortAccess::Absent;
            case SerialErrorKind::Busy:
                return PortAccess::Busy;
            default:
                return PortAccess::Denied;
        }
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const bool serial = ::GetCommState(port, &dcb) != 0;
    ::CloseHandle(port);
    return serial ? PortAccess::Free : PortAccess::NotATerminal;
}

std::optional<StepFailure> SerialDevice::configure(std::uint32_t baud, const LineLevels& lines) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port_, &dcb))
        return StepFailure{"GetCommState()", lastError()};
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    // The DCB sets the lines too: at the levels given, so the idle levels are not undone here.
    dcb.fDtrControl = lines.dtr.value_or(true) ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = lines.rts.value_or(true) ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!::SetCommState(port_, &dcb))
        return StepFailure{"SetCommState()", lastError()};

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;  // with the multiplier MAXDWORD: the first byte
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = kFirstByteWaitMs;
    const DWORD byteMs = baud == 0 ? 1 : (11u * 1000u + baud - 1) / baud;
    timeouts.WriteTotalTimeoutMultiplier = 2 * byteMs;
    timeouts.WriteTotalTimeoutConstant = kWriteBoundMs;
    if (!::SetCommTimeouts(port_, &timeouts))
        return StepFailure{"SetCommTimeouts()", lastError()};
    return std::nullopt;
}

std::optional<StepFailure> SerialDevice::setLine(bool dtr, bool asserted, bool& noLines) {
    const DWORD function = dtr ? (asserted ? SETDTR : CLRDTR) : (asserted ? SETRTS : CLRRTS);
    noLines = false;
    if (::EscapeCommFunction(port_, function))
        return std::nullopt;
    const DWORD error = ::GetLastError();
    noLines = isNoLinesError(error);
    return StepFailure{"EscapeCommFunction()", errorCode(error)};
}

std::optional<StepFailure> SerialDevice::drain() {
    if (::FlushFileBuffers(port_))
        return std::nullopt;
    return StepFailure{"FlushFileBuffers()", lastError()};
}

void SerialDevice::purge(bool input, bool output) {
    if (port_ == nullptr || (!input && !output))
        return;
    if (input) {
        std::lock_guard lock(heldMutex_);
        held_.reset();
        ++purges_;
    }
    ::PurgeComm(port_, (input ? PURGE_RXCLEAR : 0) | (output ? PURGE_TXCLEAR : 0));
}

int SerialDevice::queuedBytes() const {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port_, &errors, &status))
        return -lastError();
    std::lock_guard lock(heldMutex_);
    return static_cast<int>(status.cbInQue) + (held_ ? 1 : 0);
}

bool SerialDevice::armFirstByte(int& error) {
    if (firstBytePending_)
        return true;
    *static_cast<OVERLAPPED*>(firstByteOverlapped_) = OVERLAPPED{};
    // ReadFile itself resets the event when it starts the read.
    firstByteOverlapped_->hEvent = untracked(firstByteEvent_);
    {
        std::lock_guard lock(heldMutex_);
        firstByteGeneration_ = purges_;
    }
    DWORD count = 0;
    if (::ReadFile(port_, &firstByte_, 1, &count, firstByteOverlapped_) ||
        ::GetLastError() == ERROR_IO_PENDING) {
        firstBytePending_ = true;  // a read done at once is taken like one that completes later
        return true;
    }
    error = lastError();
    return false;
}

int SerialDevice::settleFirstByte(bool cancel) {
    if (!firstBytePending_)
        return 0;
    DWORD count = 0;
    BOOL ok = ::GetOverlappedResult(port_, firstByteOverlapped_, &count, FALSE);
    if (!ok && ::GetLastError() == ERROR_IO_INCOMPLETE) {
        if (!cancel)
            return 0;
        ::CancelIoEx(port_, firstByteOverlapped_);
        ok = ::GetOverlappedResult(port_, firstByteOverlapped_, &count, TRUE);
    }
    const DWORD error = ok ? 0 : ::GetLastError();
    firstBytePending_ = false;
    if (ok && count == 1) {
        std::lock_guard lock(heldMutex_);
        if (firstByteGeneration_ == purges_)  // bytes from before a purge are gone
            held_ = firstByte_;
    }
    return error == ERROR_OPERATION_ABORTED ? 0 : errorCode(error);
}

TransferOutcome SerialDevice::readQueued(std::uint8_t* buffer, std::size_t length) {
    TransferOutcome out;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port_, &errors, &status)) {
        out.error = lastError();
        return out;
    }
    const DWORD wanted = std::min<DWORD>(static_cast<DWORD>(length), status.cbInQue);
    if (wanted == 0) {
        out.error = EAGAIN;
        return out;
    }
    OVERLAPPED ov{};
    ov.hEvent = untracked(readEvent_);
    DWORD count = 0;
    const BOOL started = ::ReadFile(port_, buffer, wanted, &count, &ov);
    if (!finish(port_, ov, started, count)) {
        out.error = lastError();
        return out;
    }
    out.count = count;
    return out;
}

TransferOutcome SerialDevice::readSome(std::uint8_t* buffer, std::size_t length) {
    if (length == 0)
        return {};
    // The pending read may hold the first byte: it goes before anything still queued.
    if (const int error = settleFirstByte(true); error != 0) {
        TransferOutcome out;
        out.error = error;
        return out;
    }
    std::size_t taken = 0;
    {
        std::lock_guard lock(heldMutex_);
        if (held_) {
            buffer[0] = *held_;
            held_.reset();
            taken = 1;
        }
    }
    TransferOutcome out = readQueued(buffer + taken, length - taken);
    if (taken == 0)
        return out;
    out.count += taken;
    out.error = 0;  // the held byte was read; a failure shows on the next read
    return out;
}

TransferOutcome SerialDevice::writeSome(const std::uint8_t* buffer, std::size_t length) {
    TransferOutcome out;
    OVERLAPPED ov{};
    ov.hEvent = untracked(writeEvent_);
    DWORD count = 0;
    const BOOL started = ::WriteFile(port_, buffer, static_cast<DWORD>(length), &count, &ov);
    if (!finish(port_, ov, started, count)) {
        out.error = lastError();
        return out;
    }
    out.count = count;
    return out;
}

WaitOutcome SerialDevice::wait(bool watchInput, bool /*watchOutput*/, int timeoutMs) {
    if (port_ == nullptr)
        return waitForDoorbell(timeoutMs);
    WaitOutcome out;
    if (watchInput) {
        const int queued = queuedBytes();
        if (queued != 0) {
            out.readable = queued > 0;
            out.hungUp = queued < 0 && isDeviceGoneError(-queued);
            out.error = queued < 0 && !out.hungUp ? -queued : 0;
            return out;
        }
    }
    if (timeoutMs == 0)
        return look(watchInput);
    if (watchInput) {
        int error = 0;
        if (!armFirstByte(error)) {
            out.hungUp = isDeviceGoneError(error);
            out.error = out.hungUp ? 0 : error;
            return out;
        }
    }
    HANDLE handles[2] = {doorbell_, firstByteEvent_};
    const DWORD woke = waitWithDoorbell(handles, watchInput ? 2 : 1, timeoutMs);
    if (woke == WAIT_TIMEOUT) {
        out.timedOut = true;
    } else if (woke == WAIT_OBJECT_0) {
        out.rang = true;
    } else if (woke == WAIT_OBJECT_0 + 1) {
        const int error = settleFirstByte(false);
        std::lock_guard lock(heldMutex_);
        out.readable = held_.has_value();
        out.hungUp = error != 0 && isDeviceGoneError(error);
        out.error = out.hungUp ? 0 : error;
    } else {
        out.error = lastError();
    }
    return out;
}

WaitOutcome SerialDevice::look(bool watchInput) {
    WaitOutcome out;
    if (watchInput && firstBytePending_) {
        const int error = settleFirstByte(false);
        out.hungUp = error != 0 && isDeviceGoneError(error);
        out.error = out.hungUp ? 0 : error;
        std::lock_guard lock(heldMutex_);
        out.readable = held_.has_value();
    }
    out.rang = rang_.exchange(false);
    out.timedOut = !out.readable && !out.rang && !out.hungUp && out.error == 0;
    return out;
}

DWORD SerialDevice::waitWithDoorbell(void* const* handles, DWORD count, int timeoutMs) {
    waiting_ = true;
    if (rang_.exchange(false)) {
        waiting_ = false;
        return WAIT_OBJECT_0;
    }
    const DWORD waitMs = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    const DWORD woke = ::WaitForMultipleObjects(count, handles, FALSE, waitMs);
    waiting_ = false;
    if (woke == WAIT_OBJECT_0)
        rang_ = false;  // this ring is answered; a later one sets the flag again
    return woke;
}

WaitOutcome SerialDevice::waitForDoorbell(int timeoutMs) {
    WaitOutcome out;
    if (timeoutMs == 0) {
        out.rang = rang_.exchange(false);
        out.timedOut = !out.rang;
        return out;
    }
    const DWORD woke = waitWithDoorbell(&doorbell_, 1, timeoutMs);
    if (woke == WAIT_OBJECT_0)
        out.rang = true;
    else if (woke == WAIT_TIMEOUT)
        out.timedOut = true;
    else
        out.error = lastError();
    return out;
}

void SerialDevice::ring() {
    if (doorbell_ == nullptr)
        return;
    rang_ = true;
    if (waiting_)
        ::SetEvent(doorbell_);
}

}  // namespace pellion::win32
