#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "serial/PortAccess.h"
#include "serial/SerialDevice.h"
#include "serial/SerialOwner.h"

namespace pellion {

// Read and write time-outs in milliseconds, as a Win32 COMMTIMEOUTS describes them: a read of n
// bytes ends readTotalTimeoutConstant + n * readTotalTimeoutMultiplier after it starts, or
// readIntervalTimeout after the last byte received, whichever comes first. A field of 0 is not
// used; interval kMaxTimeout with both read totals 0 returns at once with what is queued.
struct CommTimeouts {
    static constexpr std::uint32_t kMaxTimeout = 0xFFFFFFFFu;

    std::uint32_t readIntervalTimeout = 1000;
    std::uint32_t readTotalTimeoutMultiplier = 1000;
    std::uint32_t readTotalTimeoutConstant = 1000;
    std::uint32_t writeTotalTimeoutMultiplier = 1000;
    std::uint32_t writeTotalTimeoutConstant = 1000;

    // The same value in all five fields.
    static CommTimeouts uniform(std::uint32_t ms) { return {ms, ms, ms, ms, ms}; }
};

// When one read of `length` bytes ends, with the time-outs as the port applies them.
struct ReadDeadlines {
    bool returnAtOnce = false;       // take what is queued, never wait
    bool returnOnFirstByte = false;  // wait (up to totalMs) for a first byte, then return
    std::optional<std::uint64_t> totalMs;
    std::optional<std::uint64_t> intervalMs;
};

// Two character times (11 bits each: start, 8 data, parity, stop) at `baud`, rounded up. A gap
// between bytes shorter than one character is no gap at all, so the interval and per-byte
// time-outs never go below this: at 1200 baud a 5 ms interval would cut every answer into
// single bytes.
std::uint32_t minimumByteTimeoutMs(std::uint32_t baud);
ReadDeadlines readDeadlines(const CommTimeouts& timeouts, std::uint32_t baud, int length);
// No value: the write may take as long as it needs.
std::optional<std::uint64_t> writeTimeoutMs(const CommTimeouts& timeouts, std::uint32_t baud,
                                            int length);

// The operator's text for a failing serial call: the step, the system's words, and the port by
// its number and its device name ("Port: 12 (/dev/ttyUSB12)").
OperatorText serialError(const std::string& stepName, const std::string& systemText,
                         std::uint32_t comNumber, const std::string& deviceName);
// The same in words.
std::string serialErrorText(const std::string& stepName, const std::string& systemText,
                            std::uint32_t comNumber, const std::string& deviceName,
                            OperatorLanguage language = OperatorLanguage::Chinese);

// One serial port with its monitor thread. The owner thread opens, queues writes and closes;
// the monitor thread writes, reads `readLength` bytes at a time and hands each read to the
// owner synchronously.
class CSerialPort {
  public:
    static constexpr int kRxBufferSize = 1024;
    static constexpr int kWriteBufferSize = 2048;
    static constexpr std::uint32_t kOpenTimeoutMs = 1000;
    static constexpr const char* kErrorCaption = "Application Error";
    static constexpr const char* kReceiveProblemCaption = "KT MCU";

    CSerialPort();
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Owner thread. Opens `devicePath` exclusively, puts DTR and RTS at `idleLines` (none: as
    // the open leaves them, both raised on a port with lines of its own) and then sets 8E1 at
    // `baud`. Fails only when the device cannot be opened, saying why (busy, absent, not a
    // terminal, denied). `comNumber` is the number shown in error texts. A line or configuration
    // step that fails is reported to the owner and the port stays open with what was applied;
    // a port without lines to drive opens quietly (SetLines tells). The time-outs start at
    // 1000 ms each.
    SerialResult OpenPort(SerialOwner* owner, const std::string& devicePath,
                          std::uint32_t comNumber, std::uint32_t baud, std::uint32_t writePause,
                          const std::optional<LineLevels>& idleLines = std::nullopt);
    bool StartMonitor();
    // Owner thread; at most kWriteBufferSize bytes. Carried out by the monitor thread. Dropped
    // on a port that is not open or whose device has gone.
    void QueueWrite(const std::uint8_t* data, int length);
    // Owner thread; safe on a port that was never opened. Called from within this port's own
    // delivery it closes the port at once and lets the monitor thread end after the delivery
    // returns (no further read or delivery); the thread is joined by the next OpenPort,
    // StopAndClose or the destructor. (OpenPort from within its own delivery fails;
    // destroying the port there is not allowed.)
    void StopAndClose();
    // Whether the device could be opened right now and, when not, why; never opens it, so no
    // line moves.
    static bool IsPortBusy(const std::string& devicePath);
    static PortAccess ProbePort(const std::string& devicePath);

    // Owner thread, on an open port: sets the lines given (a line without a value keeps its
    // level) at once, not after queued bytes, and returns once they are in effect. NoLines when
    // the port cannot drive them (a pseudo-terminal without a virtual chip's line endpoint);
    // on a virtual chip the wait for its board's confirmation is bounded (half a second).
    SerialResult SetLines(std::optional<bool> dtr, std::optional<bool> rts);
    // Owner thread, on an open port; false when the port is not open.
    bool SetTimeouts(const CommTimeouts& timeouts);
    CommTimeouts Timeouts() const;
    // The receive-enable mask (EV_RXCHAR): when cleared, nothing more is read or delivered;
    // writes and shutdown still work.
    void SetReceiveEnabled(bool enabled);
    bool IsReceiveEnabled() const;
    // Discards queued bytes both ways.
    void Purge();

    bool IsOpen() const;
    bool IsLost() const;  // the device vanished while open
    const std::string& DevicePath() const { return devicePath_; }
    std::uint32_t ComNumber() const { return comNumber; }
    std::uint32_t Baud() const { return baud_; }

    // Public as in the protocol's contract: the owner sets readLength before queueing a
    // command whose answer is longer than one byte; the monitor thread puts it back to 1.
    std::atomic<std::int32_t> writeLength{1};
    std::atomic<std::int32_t> readLength{1};
    // How many bytes the read being delivered returned (the rest of rxBuffer is zeros or older).
    std::atomic<std::int32_t> lastReadCount{0};
    std::uint8_t rxBuffer[kRxBufferSize] = {};
    std::uint32_t writePause = 0;
    std::atomic<std::uint32_t> threadAlive{0};
    std::uint32_t comNumber = 0;

  private:
    // What one timed read ended with.
    struct ReadResult {
        std::size_t count = 0;
        SerialResult failure;  // its step is the one the operator is told about
        bool deviceGone = false;
        bool shutdown = false;
    };
    struct WriteResult {
        std::size_t sent = 0;
        SerialResult failure;
        bool deviceGone = false;
    };

    void MonitorThread();
    void ReceiveStep();
    void WriteStep();
    void ReportError(const SerialResult& failure);

    ReadResult ReadWithTimeouts(int length);
    WriteResult WriteWithTimeout(int length);
    void PauseAfterWrite();
    void Deliver();
    void MarkLost();
    void WaitForMonitorToEnd();
    bool InOwnDelivery() const;
    bool ShutdownRequested() const { return shutdownRequested_.load(); }

    std::unique_ptr<SerialDevice> device_;
    std::unique_ptr<std::uint8_t[]> writeBuffer_;
    SerialOwner* owner_ = nullptr;
    std::recursive_mutex lock_;  // opening, the write step and the receive step
    std::thread monitorThread_;
    std::atomic<bool> monitorRunning_{false};
    std::atomic<bool> shutdownRequested_{false};
    std::atomic<bool> writePending_{false};
    std::atomic<bool> receiveEnabled_{true};
    std::atomic<bool> lost_{false};
    std::atomic<bool> delivering_{false};  // the owner is inside OnSerialData for this port
    mutable std::mutex timeoutsMutex_;
    CommTimeouts timeouts_;
    // Lets a posted port-lost report find out, on the owner thread, whether this object and
    // this opening of it still exist.
    std::shared_ptr<std::atomic<std::uint64_t>> openingToken_;
    std::string devicePath_;
    std::uint32_t baud_ = 0;
};

}  // namespace pellion
