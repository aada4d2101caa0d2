#pragma once

#include "serial/SerialDevice.h"
#include "serial/win32/SerialDevice.h"

namespace pellion::win32 {

// A COM port behind the serial device interface: the Win32 calls and their error codes of
// win32::SerialDevice, told in the portable kinds.
class CommDevice final : public pellion::SerialDevice {
  public:
    SerialResult open(const std::string& path) override;
    void close() override { port_.close(); }
    bool isOpen() const override { return port_.isOpen(); }

    SerialResult configure(std::uint32_t baud) override;
    SerialResult setLines(const LineLevels& levels) override;

    void purge(bool input, bool output) override { port_.purge(input, output); }
    SerialResult drain() override;
    SerialTransfer bytesQueued() override;
    SerialTransfer read(std::uint8_t* buffer, std::size_t length) override;
    SerialTransfer write(const std::uint8_t* buffer, std::size_t length) override;

    SerialWait wait(bool readable, bool writable, int timeoutMs) override;
    SerialWait waitForDoorbell(int timeoutMs) override;
    void ring() override { port_.ring(); }

  private:
    win32::SerialDevice port_;
    LineLevels levels_;  // kept by the DCB when the line is configured
};

}  // namespace pellion::win32
