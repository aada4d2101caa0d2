#include "serial/win32/CommDevice.h"

#include <windows.h>

#include <cerrno>

#include "serial/win32/SystemErrorText.h"

namespace pellion {

std::unique_ptr<SerialDevice> makeSerialDevice() {
    return std::make_unique<win32::CommDevice>();
}

PortAccess probePortAccess(const std::string& devicePath) {
    return win32::SerialDevice::probe(devicePath);
}

namespace win32 {

namespace {

SerialResult failure(SerialErrorKind kind, const char* step, int error) {
    return SerialResult::failure(kind, step, systemErrorText(error));
}

SerialErrorKind transferKind(int error) {
    return isDeviceGoneError(error) ? SerialErrorKind::Gone : SerialErrorKind::Other;
}

SerialResult fromStep(const std::optional<StepFailure>& step) {
    if (!step)
        return {};
    return failure(transferKind(step->error), step->step, step->error);
}

SerialWait fromWait(const WaitOutcome& outcome) {
    SerialWait out;
    out.rang = outcome.rang;
    out.readable = outcome.readable;
    out.timedOut = outcome.timedOut;
    if (outcome.hungUp)
        out.result = SerialResult::failure(SerialErrorKind::Gone, "WaitForMultipleObjects()", "");
    else if (outcome.error != 0)
        out.result = failure(SerialErrorKind::Other, "WaitForMultipleObjects()", outcome.error);
    return out;
}

}  // namespace

SerialResult CommDevice::open(const std::string& path) {
    levels_ = {};
    const int error = port_.open(path);
    if (error != 0)
        return failure(openErrorKind(error), "CreateFile()", error);
    return {};
}

SerialResult CommDevice::configure(std::uint32_t baud) {
    return fromStep(port_.configure(baud, levels_));
}

SerialResult CommDevice::setLines(const LineLevels& levels) {
    const std::optional<bool> wanted[] = {levels.dtr, levels.rts};
    for (int line = 0; line < 2; ++line) {
        if (!wanted[line])
            continue;
        bool noLines = false;
        if (const auto failed = port_.setLine(line == 0, *wanted[line], noLines)) {
            if (noLines)
                return failure(SerialErrorKind::NoLines, failed->step, failed->error);
            return fromStep(failed);
        }
        (line == 0 ? levels_.dtr : levels_.rts) = wanted[line];
    }
    return {};
}

SerialResult CommDevice::drain() {
    return fromStep(port_.drain());
}

SerialTransfer CommDevice::bytesQueued() {
    const int queued = port_.queuedBytes();
    if (queued < 0)
        return {0, failure(transferKind(-queued), "ClearCommError()", -queued)};
    return {static_cast<std::size_t>(queued), {}};
}

SerialTransfer CommDevice::read(std::uint8_t* buffer, std::size_t length) {
    while (true) {
        const auto got = port_.readSome(buffer, length);
        if (got.count > 0)
            return {got.count, {}};
        if (got.endOfFile)
            return {0, SerialResult::failure(SerialErrorKind::Gone, "ReadFile()", "")};
        if (got.error == EAGAIN || got.error == 0)
            return {};
        if (got.error != EINTR)
            return {0, failure(transferKind(got.error), "ReadFile()", got.error)};
    }
}

SerialTransfer CommDevice::write(const std::uint8_t* buffer, std::size_t length) {
    while (true) {
        const auto put = port_.writeSome(buffer, length);
        if (put.count > 0 || put.error == 0 || put.error == EAGAIN)
            return {put.count, {}};
        if (put.error != EINTR)
            return {0, failure(transferKind(put.error), "WriteFile()", put.error)};
    }
}

SerialWait CommDevice::wait(bool readable, bool writable, int timeoutMs) {
    return fromWait(port_.wait(readable, writable, timeoutMs));
}

SerialWait CommDevice::waitForDoorbell(int timeoutMs) {
    return fromWait(port_.waitForDoorbell(timeoutMs));
}

}  // namespace win32
}  // namespace pellion
