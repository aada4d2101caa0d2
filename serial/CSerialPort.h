#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serial/SerialOwner.h"

namespace pellion {

// Read and write time-outs in milliseconds, as a Win32 COMMTIMEOUTS describes them: a read of n
// bytes ends readTotalTimeoutConstant + n * readTotalTimeoutMultiplier after it starts, or
// readIntervalTimeout after the last byte received, whichever comes first.
struct CommTimeouts {
    std::uint32_t readIntervalTimeout = 1000;
    std::uint32_t readTotalTimeoutMultiplier = 1000;
    std::uint32_t readTotalTimeoutConstant = 1000;
    std::uint32_t writeTotalTimeoutMultiplier = 1000;
    std::uint32_t writeTotalTimeoutConstant = 1000;
};

// One serial port with its monitor thread. The owner thread opens, queues writes and closes;
// the monitor thread writes, reads `readLength` bytes at a time and hands each read to the
// owner synchronously.
class CSerialPort {
public:
    static constexpr int kRxBufferSize = 1024;
    static constexpr int kWriteBufferSize = 2048;

    CSerialPort();
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Owner thread. Opens `devicePath` exclusively with 8E1 at `baud`; false only when the
    // device cannot be opened (absent or held by another opener). `comNumber` is the number
    // shown in error texts.
    bool OpenPort(SerialOwner* owner, const std::string& devicePath, std::uint32_t comNumber,
                  std::uint32_t baud, std::uint32_t writePause);
    bool StartMonitor();
    // Owner thread; at most kWriteBufferSize bytes. Carried out by the monitor thread.
    void QueueWrite(const std::uint8_t* data, int length);
    // Owner thread; safe on a port that was never opened.
    void StopAndClose();
    static bool IsPortBusy(const std::string& devicePath);

    // Owner thread, on an open port.
    bool SetTimeouts(const CommTimeouts& timeouts);
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
    std::uint8_t rxBuffer[kRxBufferSize] = {};
    std::uint32_t writePause = 0;
    std::atomic<std::uint32_t> threadAlive{0};
    std::uint32_t comNumber = 0;

private:
    // Implementation-defined members (file descriptor, wake-up pipe, thread, lock, ...) are
    // added here by the POSIX implementation.
    std::string devicePath_;
    std::uint32_t baud_ = 0;
};

}  // namespace pellion
