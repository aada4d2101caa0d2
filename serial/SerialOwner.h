#pragma once

#include <cstdint>
#include <string>

#include "engine/OperatorText.h"

namespace pellion {

class CSerialPort;
class OwnerLoop;

// The owner of open ports (the window, the command line, a test): it receives every block of
// bytes a port reads, learns when a port's device vanishes, and shows errors to the operator.
class SerialOwner {
  public:
    virtual ~SerialOwner() = default;

    // The loop of the owner thread; deliveries run on it.
    virtual OwnerLoop& ownerLoop() = 0;

    // Owner thread, synchronous: the monitor thread waits until this returns. `rxBuffer`
    // holds the bytes just read from its first byte on (the port's 1024-byte buffer; valid
    // only during the call). The port's readLength is already back to 1.
    virtual void OnSerialData(CSerialPort& port, const std::uint8_t* rxBuffer) = 0;

    // Owner thread, asynchronous: the device behind the port has gone (unplugged adapter,
    // hang-up). The monitor thread has stopped reading; StopAndClose is still the owner's.
    virtual void OnPortLost(CSerialPort& port) = 0;

    // Any thread: a modal message for the operator ("Application Error" with the failing call,
    // or "接收有问题!"), worded in the owner's language. Returns once the operator has
    // acknowledged it (or at once where nobody can, as on the command line).
    virtual void ShowSerialError(const std::string& caption, const OperatorText& text) = 0;
};

}  // namespace pellion
