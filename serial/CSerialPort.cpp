#include "serial/CSerialPort.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

#include "engine/OwnerLoop.h"

namespace pellion {

namespace {

using std::chrono::milliseconds;

constexpr std::uint32_t kBitsPerCharacter = 11;  // start, 8 data, even parity, stop
// After the wait itself failed, before waiting again: keeps a persistent failure from
// flooding the operator.
constexpr auto kWaitFailureBackoff = milliseconds(100);

// Milliseconds until `deadline`, rounded up so a wait never ends just short of it; 0 when due.
int millisecondsUntil(SteadyClock::time_point deadline) {
    const auto left = deadline - SteadyClock::now();
    if (left <= SteadyClock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, 1 << 30));
}

}  // namespace

std::uint32_t minimumByteTimeoutMs(std::uint32_t baud) {
    if (baud == 0)
        return 0;
    const std::uint64_t twoCharactersBitsMs = 2ull * kBitsPerCharacter * 1000ull;
    return static_cast<std::uint32_t>((twoCharactersBitsMs + baud - 1) / baud);
}

ReadDeadlines readDeadlines(const CommTimeouts& t, std::uint32_t baud, int length) {
    constexpr auto kMax = CommTimeouts::kMaxTimeout;
    ReadDeadlines d;
    if (t.readIntervalTimeout == kMax && t.readTotalTimeoutMultiplier == 0 &&
        t.readTotalTimeoutConstant == 0) {
        d.returnAtOnce = true;
        return d;
    }
    if (t.readIntervalTimeout == kMax && t.readTotalTimeoutMultiplier == kMax &&
        t.readTotalTimeoutConstant != 0 && t.readTotalTimeoutConstant != kMax) {
        d.returnOnFirstByte = true;
        d.totalMs = t.readTotalTimeoutConstant;
        return d;
    }
    const std::uint64_t floor = minimumByteTimeoutMs(baud);
    auto atLeastFloor = [&](std::uint32_t v) -> std::uint64_t {
        return (v == 0 || v == kMax) ? 0 : std::max<std::uint64_t>(v, floor);
    };
    const std::uint64_t interval = atLeastFloor(t.readIntervalTimeout);
    const std::uint64_t perByte = atLeastFloor(t.readTotalTimeoutMultiplier);
    const std::uint64_t constant =
        t.readTotalTimeoutConstant == kMax ? 0 : t.readTotalTimeoutConstant;
    const std::uint64_t n = static_cast<std::uint64_t>(std::max(length, 0));
    if (perByte != 0 || constant != 0)
        d.totalMs = perByte * n + constant;
    if (interval != 0)
        d.intervalMs = interval;
    return d;
}

std::optional<std::uint64_t> writeTimeoutMs(const CommTimeouts& t, std::uint32_t baud, int length) {
    const std::uint64_t perByte =
        t.writeTotalTimeoutMultiplier == 0
            ? 0
            : std::max<std::uint64_t>(t.writeTotalTimeoutMultiplier, minimumByteTimeoutMs(baud));
    const std::uint64_t constant = t.writeTotalTimeoutConstant;
    if (perByte == 0 && constant == 0)
        return std::nullopt;
    return perByte * static_cast<std::uint64_t>(std::max(length, 0)) + constant;
}

OperatorText serialError(const std::string& stepName, const std::string& systemText,
                         std::uint32_t comNumber, const std::string& deviceName) {
    return OperatorText(TextId::SerialCallFailed)
        .with("step", stepName)
        .with("system", systemText)
        .with("number", std::to_string(comNumber))
        .with("device", deviceName);
}

std::string serialErrorText(const std::string& stepName, const std::string& systemText,
                            std::uint32_t comNumber, const std::string& deviceName,
                            OperatorLanguage language) {
    return serialError(stepName, systemText, comNumber, deviceName).words(language);
}

CSerialPort::CSerialPort()
    : device_(makeSerialDevice()), openingToken_(std::make_shared<std::atomic<std::uint64_t>>(0)) {}

CSerialPort::~CSerialPort() {
    StopAndClose();
    openingToken_.reset();  // a port-lost report still queued for the owner is now void
}

SerialResult CSerialPort::OpenPort(SerialOwner* owner, const std::string& devicePath,
                                   std::uint32_t comNumberArg, std::uint32_t baud,
                                   std::uint32_t writePauseArg,
                                   const std::optional<LineLevels>& idleLines) {
    if (InOwnDelivery())
        return SerialResult::failure(SerialErrorKind::Busy, "OpenPort", "within its own delivery");
    WaitForMonitorToEnd();
    std::lock_guard lock(lock_);
    openingToken_->fetch_add(1);
    owner_ = owner;
    writeBuffer_ = std::make_unique<std::uint8_t[]>(kWriteBufferSize);
    comNumber = comNumberArg;
    devicePath_ = devicePath;
    baud_ = baud;
    lost_ = false;
    writePending_ = false;
    receiveEnabled_ = true;
    writeLength = 1;
    readLength = 1;

    device_->close();
    if (auto opened = device_->open(devicePath); !opened)
        return opened;
    writePause = writePauseArg;
    {
        std::lock_guard timeoutsLock(timeoutsMutex_);
        timeouts_ = CommTimeouts::uniform(kOpenTimeoutMs);
    }
    // The lines first: a board wired for boot entry must not see them wander while the line
    // is set up.
    if (idleLines) {
        const auto lines = device_->setLines(*idleLines);
        if (!lines && lines.kind != SerialErrorKind::NoLines)
            ReportError(lines);
    }
    if (auto configured = device_->configure(baud); !configured)
        ReportError(configured);
    device_->purge(true, true);
    return {};
}

bool CSerialPort::StartMonitor() {
    if (!device_->isOpen() || owner_ == nullptr)
        return false;
    if (monitorThread_.joinable()) {
        if (monitorRunning_ && !ShutdownRequested())
            return true;
        if (InOwnDelivery())
            return false;  // the thread still ends after this delivery
        WaitForMonitorToEnd();
    }
    shutdownRequested_ = false;
    monitorRunning_ = true;
    try {
        monitorThread_ = std::thread([this] { MonitorThread(); });
    } catch (const std::system_error&) {
        monitorRunning_ = false;
        return false;
    }
    return true;
}

void CSerialPort::QueueWrite(const std::uint8_t* data, int length) {
    if (!device_->isOpen() || lost_ || !writeBuffer_ || data == nullptr || length < 0)
        return;
    length = std::min(length, kWriteBufferSize);
    std::memcpy(writeBuffer_.get(), data, static_cast<std::size_t>(length));
    writeLength = length;
    writePending_ = true;
    device_->ring();
}

void CSerialPort::StopAndClose() {
    // Within its own delivery the monitor thread holds the lock and waits for this very call
    // to return: ask it to end, and close without waiting for it.
    const bool nested = InOwnDelivery();
    openingToken_->fetch_add(1);  // a port-lost report not yet handled is moot now
    WaitForMonitorToEnd();
    std::unique_lock lock(lock_, std::defer_lock);
    if (!nested)
        lock.lock();
    device_->close();
    writePending_ = false;
}

bool CSerialPort::IsPortBusy(const std::string& devicePath) {
    return ProbePort(devicePath) != PortAccess::Free;
}

PortAccess CSerialPort::ProbePort(const std::string& devicePath) {
    return probePortAccess(devicePath);
}

SerialResult CSerialPort::SetLines(std::optional<bool> dtr, std::optional<bool> rts) {
    if (lost_)
        return SerialResult::failure(SerialErrorKind::Gone, "DTR/RTS", "the port has gone");
    if (!device_->isOpen())
        return SerialResult::failure(SerialErrorKind::Other, "DTR/RTS", "the port is not open");
    return device_->setLines({dtr, rts});
}

bool CSerialPort::SetTimeouts(const CommTimeouts& timeouts) {
    if (!device_->isOpen())
        return false;
    std::lock_guard lock(timeoutsMutex_);
    timeouts_ = timeouts;
    return true;
}

CommTimeouts CSerialPort::Timeouts() const {
    std::lock_guard lock(timeoutsMutex_);
    return timeouts_;
}

void CSerialPort::SetReceiveEnabled(bool enabled) {
    receiveEnabled_ = enabled;
    device_->ring();
}

bool CSerialPort::IsReceiveEnabled() const {
    return receiveEnabled_;
}

void CSerialPort::Purge() {
    device_->purge(true, true);
}

bool CSerialPort::IsOpen() const {
    return device_->isOpen();
}

bool CSerialPort::IsLost() const {
    return lost_;
}

bool CSerialPort::InOwnDelivery() const {
    return delivering_ && owner_ != nullptr && owner_->ownerLoop().isOwnerThread();
}

void CSerialPort::WaitForMonitorToEnd() {
    if (!monitorThread_.joinable())
        return;
    shutdownRequested_ = true;
    device_->ring();
    if (InOwnDelivery())
        return;  // joined later, once the delivery has returned
    // The monitor thread may be waiting for the owner thread to take a delivery; an owner
    // thread that only joined would wait for it forever.
    if (owner_ != nullptr && owner_->ownerLoop().isOwnerThread()) {
        owner_->ownerLoop().serveUntil([this] { return !monitorRunning_.load(); });
    }
    monitorThread_.join();
    shutdownRequested_ = false;
}

void CSerialPort::MonitorThread() {
    device_->purge(true, true);
    threadAlive = 1;  // from here on, bytes that arrive are read
    while (!ShutdownRequested()) {
        if (lost_) {
            // Nothing left to read or write: wait for the shutdown without touching the line.
            writePending_ = false;
            device_->waitForDoorbell(-1);
            continue;
        }
        // A queued write only looks for bytes already received, which go first.
        const bool receiving = receiveEnabled_;
        const auto woke = device_->wait(receiving, false, writePending_ ? 0 : -1);
        if (ShutdownRequested())
            break;
        if (woke.result.kind == SerialErrorKind::Gone) {
            MarkLost();
        } else if (!woke.result) {
            owner_->ShowSerialError(kReceiveProblemCaption, OperatorText(TextId::ReceiveProblem));
            std::this_thread::sleep_for(kWaitFailureBackoff);
        } else if (woke.readable && receiveEnabled_) {
            ReceiveStep();
        } else if (writePending_) {
            WriteStep();
        }
    }
    threadAlive = 0;
    SerialOwner* owner = owner_;
    monitorRunning_ = false;
    owner->ownerLoop().wake();
}

void CSerialPort::ReceiveStep() {
    std::lock_guard lock(lock_);
    std::memset(rxBuffer, 0, sizeof rxBuffer);
    while (!ShutdownRequested() && receiveEnabled_ && !lost_) {
        const auto queued = device_->bytesQueued();
        if (queued.result.kind == SerialErrorKind::Gone) {
            MarkLost();
            return;
        }
        if (!queued.result) {
            ReportError(queued.result);
            return;
        }
        if (queued.count == 0)
            return;

        const int length = std::clamp<int>(readLength.load(), 1, kRxBufferSize);
        const ReadResult read = ReadWithTimeouts(length);
        if (read.deviceGone) {
            MarkLost();
            return;
        }
        if (read.shutdown)
            return;
        if (!read.failure)
            ReportError(read.failure);
        lastReadCount = static_cast<std::int32_t>(read.count);
        readLength = 1;
        Deliver();
    }
}

CSerialPort::ReadResult CSerialPort::ReadWithTimeouts(int length) {
    ReadResult result;
    const ReadDeadlines limits = readDeadlines(Timeouts(), baud_, length);
    const auto start = SteadyClock::now();
    auto lastByte = start;
    const auto wanted = static_cast<std::size_t>(length);
    while (result.count < wanted) {
        const auto got = device_->read(rxBuffer + result.count, wanted - result.count);
        if (got.count > 0) {
            result.count += got.count;
            lastByte = SteadyClock::now();
            if (limits.returnOnFirstByte)
                break;
            continue;
        }
        if (got.result.kind == SerialErrorKind::Gone) {
            result.deviceGone = true;
            return result;
        }
        if (!got.result) {
            result.failure = got.result;
            return result;
        }
        if (limits.returnAtOnce)
            break;

        std::optional<SteadyClock::time_point> deadline;
        if (limits.totalMs)
            deadline = start + milliseconds(*limits.totalMs);
        if (limits.intervalMs && result.count > 0) {
            const auto intervalEnd = lastByte + milliseconds(*limits.intervalMs);
            deadline = deadline ? std::min(*deadline, intervalEnd) : intervalEnd;
        }
        int waitMs = -1;
        if (deadline) {
            waitMs = millisecondsUntil(*deadline);
            if (waitMs == 0)
                break;
        }
        const auto woke = device_->wait(true, false, waitMs);
        if (ShutdownRequested()) {
            result.shutdown = true;
            return result;
        }
        if (woke.result.kind == SerialErrorKind::Gone) {
            result.deviceGone = true;
            return result;
        }
        if (!woke.result) {
            result.failure = woke.result;
            result.failure.step += " in read()";
            return result;
        }
    }
    return result;
}

void CSerialPort::WriteStep() {
    std::unique_lock lock(lock_);
    writePending_ = false;
    device_->purge(false, true);
    const int length = std::clamp<int>(writeLength.load(), 0, kWriteBufferSize);
    const WriteResult written = WriteWithTimeout(length);
    if (written.deviceGone) {
        MarkLost();
        return;
    }
    PauseAfterWrite();
    lock.unlock();
    if (!written.failure)
        ReportError(written.failure);
    if (ShutdownRequested())
        return;
    // Whatever the peer said to a write that did not go out whole is handed over at once.
    if (written.sent != static_cast<std::size_t>(length))
        ReceiveStep();
}

CSerialPort::WriteResult CSerialPort::WriteWithTimeout(int length) {
    WriteResult result;
    const auto limit = writeTimeoutMs(Timeouts(), baud_, length);
    const auto deadline =
        limit ? std::optional(SteadyClock::now() + milliseconds(*limit)) : std::nullopt;
    const auto wanted = static_cast<std::size_t>(length);
    while (result.sent < wanted) {
        const auto put = device_->write(writeBuffer_.get() + result.sent, wanted - result.sent);
        if (put.count > 0) {
            result.sent += put.count;
            continue;
        }
        if (put.result.kind == SerialErrorKind::Gone) {
            result.deviceGone = true;
            return result;
        }
        if (!put.result) {
            result.failure = put.result;
            return result;
        }
        int waitMs = -1;
        if (deadline) {
            waitMs = millisecondsUntil(*deadline);
            if (waitMs == 0)
                return result;  // timed out: a short write, no error
        }
        const auto woke = device_->wait(false, true, waitMs);
        if (ShutdownRequested())
            return result;
        if (woke.result.kind == SerialErrorKind::Gone) {
            result.deviceGone = true;
            return result;
        }
        if (!woke.result) {
            // Named as the write that failed, as before.
            result.failure = woke.result;
            result.failure.step = "write()";
            return result;
        }
    }
    return result;
}

void CSerialPort::PauseAfterWrite() {
    // Only this port's monitor thread waits; a shutdown cuts the pause short.
    const auto end = SteadyClock::now() + milliseconds(writePause);
    while (!ShutdownRequested()) {
        const int waitMs = millisecondsUntil(end);
        if (waitMs == 0)
            break;
        device_->waitForDoorbell(waitMs);
    }
}

void CSerialPort::Deliver() {
    SerialOwner* owner = owner_;
    owner->ownerLoop().call([this, owner] {
        delivering_ = true;
        owner->OnSerialData(*this, rxBuffer);
        delivering_ = false;
    });
}

void CSerialPort::MarkLost() {
    if (lost_.exchange(true))
        return;
    writePending_ = false;
    SerialOwner* owner = owner_;
    std::weak_ptr<std::atomic<std::uint64_t>> token = openingToken_;
    const std::uint64_t opening = openingToken_->load();
    owner->ownerLoop().post([this, owner, token, opening] {
        const auto alive = token.lock();
        if (!alive || alive->load() != opening)
            return;  // destroyed, closed or reopened since
        owner->OnPortLost(*this);
    });
}

void CSerialPort::ReportError(const SerialResult& failure) {
    if (owner_ == nullptr)
        return;
    owner_->ShowSerialError(kErrorCaption,
                            serialError(failure.step, failure.systemText, comNumber, devicePath_));
}

}  // namespace pellion
