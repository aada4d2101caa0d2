#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace pellion {

// Why a call on a serial device failed, in the same terms on every platform.
enum class SerialErrorKind {
    None,
    Busy,          // held by another opener
    Gone,          // the device vanished (unplugged, hung up)
    NotATerminal,  // a file or a device that is no serial line
    Denied,        // the user may not open it
    Absent,        // no such device
    NoLines,       // the port cannot drive DTR and RTS
    Other,
};

// The outcome of one call: success, or the kind of failure with the call that failed (the
// step an operator's error text names) and the system's own words for it.
struct SerialResult {
    SerialErrorKind kind = SerialErrorKind::None;
    std::string step;
    std::string systemText;

    bool ok() const { return kind == SerialErrorKind::None; }
    explicit operator bool() const { return ok(); }
    static SerialResult failure(SerialErrorKind kind, std::string step, std::string systemText) {
        return {kind, std::move(step), std::move(systemText)};
    }
};

// Levels for DTR and RTS, true = asserted; a line without a value keeps its level.
struct LineLevels {
    std::optional<bool> dtr;
    std::optional<bool> rts;
};

// Bytes moved by one read or write, or queued; `count` 0 with no error: nothing right now.
struct SerialTransfer {
    std::size_t count = 0;
    SerialResult result;
};

// What a wait found. A hang-up is a failure of kind Gone.
struct SerialWait {
    bool rang = false;      // the doorbell rang (a write queued, a shutdown, a mask change)
    bool readable = false;  // received bytes wait in the input queue
    bool timedOut = false;
    SerialResult result;
};

// One serial device held exclusively, with a doorbell that wakes whoever waits on it. Opened,
// configured, its lines set and closed on the owner thread; waits, reads and writes happen on
// the port's monitor thread; ring(), purge() and bytesQueued() are safe from any thread while it
// is open. Nothing blocks without a bound the caller gives, except drain().
class SerialDevice {
  public:
    virtual ~SerialDevice() = default;

    // Opens exclusively (no other opener, whatever its privileges), leaving the lines as the
    // platform's open sets them, and so that closing the device later leaves them as they are.
    virtual SerialResult open(const std::string& path) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Raw 8 data bits, even parity, one stop bit at `baud`, no flow control, lowest latency the
    // driver offers. Stops at the first failing step.
    virtual SerialResult configure(std::uint32_t baud) = 0;
    // Sets the lines given and returns once they are in effect, or fails with NoLines where the
    // device has none to drive.
    virtual SerialResult setLines(const LineLevels& levels) = 0;

    virtual void purge(bool input, bool output) = 0;
    // Waits until everything written has left the device.
    virtual SerialResult drain() = 0;
    virtual SerialTransfer bytesQueued() = 0;
    virtual SerialTransfer read(std::uint8_t* buffer, std::size_t length) = 0;
    virtual SerialTransfer write(const std::uint8_t* buffer, std::size_t length) = 0;

    // Waits for the doorbell, for received bytes (when `readable`) or for room in the output
    // queue (when `writable`); timeoutMs < 0 waits without limit. A hang-up ends the wait
    // whatever is watched.
    virtual SerialWait wait(bool readable, bool writable, int timeoutMs) = 0;
    // Waits for the doorbell alone, so a hung-up device cannot end it early.
    virtual SerialWait waitForDoorbell(int timeoutMs) = 0;
    virtual void ring() = 0;
};

// The platform's device, picked when the program is built.
std::unique_ptr<SerialDevice> makeSerialDevice();

}  // namespace pellion
