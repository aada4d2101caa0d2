#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "serial/PortAccess.h"
#include "serial/SerialDevice.h"

namespace pellion::win32 {

using Handle = void*;  // a Win32 HANDLE, without <windows.h> in every includer

// A failed step of the line configuration: the Win32 call that failed and its error code.
struct StepFailure {
    const char* step;
    int error;
};

// What a wait on the device and the doorbell found.
struct WaitOutcome {
    bool rang = false;      // someone rang the doorbell (write queued, shutdown, mask change)
    bool readable = false;  // received bytes wait in the input queue
    bool hungUp = false;    // the device has gone
    bool timedOut = false;
    int error = 0;  // the wait itself failed (Win32 error code)
};

// One non-blocking read or write: bytes moved, or the error. EAGAIN (from <cerrno>) means
// nothing to move right now, as on POSIX; every other error is a Win32 code (none of which the
// device reports with the value of EAGAIN or EINTR).
struct TransferOutcome {
    std::size_t count = 0;
    int error = 0;
    bool endOfFile = false;
};

// One COM port held exclusively (CreateFile without sharing, and a named guard object that
// Wine, which does not enforce sharing on devices, respects too), with overlapped reads and
// writes and the doorbell event that wakes the waiting monitor thread. Received characters are
// awaited with a pending one-byte read in the "return on the first byte" mode of COMMTIMEOUTS
// rather than WaitCommEvent(EV_RXCHAR): Wine ends that wait at once, with no event, on a port
// whose modem lines it cannot read (a pseudo-terminal), which would make the monitor spin. Opened
// and closed on the owner thread; waits, reads and writes happen on the monitor thread; ring(),
// purge() and queuedBytes() are safe from any thread while it is open.
class SerialDevice {
  public:
    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // `path` is "COM3" or "\\.\COM3". Returns 0 or the Win32 error of CreateFile (a port held
    // by another opener answers ERROR_ACCESS_DENIED or ERROR_SHARING_VIOLATION).
    int open(const std::string& path);
    void close();
    bool isOpen() const { return port_ != nullptr; }

    static PortAccess probe(const std::string& path);
    // "\\.\COMn" for "COMn", which CreateFile needs from COM10 on.
    static std::string devicePathOf(const std::string& path);

    // The DCB: 8 data bits, even parity, one stop bit at any rate, DTR and RTS at `lines` (on
    // where not given), no flow control; COMMTIMEOUTS that make a read return on its first byte
    // (reads never ask for more than is queued, and the port's own time-outs are kept by its
    // monitor thread) and bound a write.
    std::optional<StepFailure> configure(std::uint32_t baud, const LineLevels& lines);
    // EscapeCommFunction for DTR (or RTS); `noLines` tells a port that cannot drive its lines.
    std::optional<StepFailure> setLine(bool dtr, bool asserted, bool& noLines);
    // FlushFileBuffers: until everything written has left.
    std::optional<StepFailure> drain();

    void purge(bool input, bool output);
    // Bytes waiting in the input queue, or -error.
    int queuedBytes() const;

    TransferOutcome readSome(std::uint8_t* buffer, std::size_t length);
    TransferOutcome writeSome(const std::uint8_t* buffer, std::size_t length);

    // Waits (WaitForMultipleObjects) for the doorbell and, when watchInput, for a received
    // character; timeoutMs < 0 waits without limit. Writes complete within
    // writeSome, so watchOutput never has to wait.
    WaitOutcome wait(bool watchInput, bool watchOutput, int timeoutMs);
    WaitOutcome waitForDoorbell(int timeoutMs);
    void ring();

  private:
    // WaitForMultipleObjects on the doorbell (first) and the others, unless a ring came while
    // nobody waited: those set only the flag, which spares a system call per queued write.
    unsigned long waitWithDoorbell(void* const* handles, unsigned long count, int timeoutMs);
    // A look without waiting: the first-byte read's completion and a ring, no system wait.
    WaitOutcome look(bool watchInput);
    // The pending one-byte read that waits for the first received character.
    bool armFirstByte(int& error);
    // Ends the pending read, waiting for it when `cancel`; keeps its byte. The error of a
    // read that failed, 0 otherwise.
    int settleFirstByte(bool cancel);
    TransferOutcome readQueued(std::uint8_t* buffer, std::size_t length);

    Handle port_ = nullptr;
    Handle guard_ = nullptr;  // named after the port while it is held
    Handle doorbell_ = nullptr;
    std::atomic<bool> rang_{false};
    std::atomic<bool> waiting_{false};  // the monitor thread is (about to be) in a system wait
    Handle firstByteEvent_ = nullptr;
    Handle readEvent_ = nullptr;
    Handle writeEvent_ = nullptr;
    struct Overlapped;
    Overlapped* firstByteOverlapped_ = nullptr;
    std::uint8_t firstByte_ = 0;
    bool firstBytePending_ = false;
    unsigned firstByteGeneration_ = 0;  // the purge count when the read was started
    // A received byte not yet handed out; read before the queue. A purge drops it.
    mutable std::mutex heldMutex_;
    std::optional<std::uint8_t> held_;
    unsigned purges_ = 0;
};

}  // namespace pellion::win32
