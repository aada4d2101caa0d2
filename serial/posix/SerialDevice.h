#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "serial/PortAccess.h"
#include "serial/posix/LineSettings.h"

namespace pellion::posix {

// What a wait on the device and the doorbell found.
struct WaitOutcome {
    bool rang = false;      // someone rang the doorbell (write queued, shutdown, mask change)
    bool readable = false;  // received bytes wait in the input queue
    bool hungUp = false;    // the device has gone
    bool timedOut = false;
    int error = 0;  // the wait itself failed (errno)
};

// The result of one non-blocking read or write: bytes moved, or the errno (EAGAIN: nothing
// to move right now). A read of 0 bytes without error means the line hung up.
struct TransferOutcome {
    std::size_t count = 0;
    int error = 0;
    bool endOfFile = false;
};

// One serial device held exclusively, and the doorbell that wakes whoever waits on it. The
// descriptor is opened and closed on the owner thread; waits, reads and writes happen on the
// monitor thread; ring(), purge() and queuedBytes() are safe from any thread while it is open.
class SerialDevice {
  public:
    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens without becoming the controlling terminal and without waiting for carrier, then
    // takes an advisory lock and the terminal's exclusive mode, so no other opener, root
    // included, can share the line. Returns 0 or the errno of the failing step.
    int open(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Tests whether `path` could be opened exclusively right now, and why not.
    static PortAccess probe(const std::string& path);

    std::optional<StepFailure> configure(std::uint32_t baud);
    // RTS on. Devices without modem lines (pseudo-terminals) are left alone silently.
    std::optional<StepFailure> raiseRts();
    // USB-serial adapters otherwise hold received bytes back for their latency timer. Ignored
    // where the driver has no such mode.
    void requestLowLatency();

    void purge(bool input, bool output);
    // Bytes waiting in the input queue, or -errno.
    int queuedBytes() const;

    TransferOutcome readSome(std::uint8_t* buffer, std::size_t length);
    TransferOutcome writeSome(const std::uint8_t* buffer, std::size_t length);

    // Waits for the doorbell, for received bytes (when watchInput) or until the output queue
    // has room (when watchOutput); timeoutMs < 0 waits without limit. A hang-up is reported
    // whatever is watched.
    WaitOutcome wait(bool watchInput, bool watchOutput, int timeoutMs);
    // Waits for the doorbell alone, so a hung-up line cannot make it return early.
    WaitOutcome waitForDoorbell(int timeoutMs);
    void ring();

  private:
    WaitOutcome waitOn(bool watchDevice, bool watchInput, bool watchOutput, int timeoutMs);
    void drainDoorbell();

    int fd_ = -1;
    int doorbell_ = -1;
};

}  // namespace pellion::posix
