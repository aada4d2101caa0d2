#pragma once

#include <chrono>
#include <string>

#include "serial/SerialDevice.h"
#include "serial/posix/PtyLineChannel.h"

namespace pellion::posix {

// How long setting the lines of a virtual chip may keep the owner thread waiting for its
// board's confirmation (a real port's ioctl returns once the driver has the change).
inline constexpr std::chrono::milliseconds kLineAnswerTimeout{500};

// A terminal device behind the serial device interface, with an eventfd as its doorbell.
// Pseudo-terminals carry no modem lines: their DTR and RTS go to the virtual chip's line
// endpoint where one serves the device.
class TerminalDevice final : public SerialDevice {
  public:
    TerminalDevice();
    ~TerminalDevice() override;
    TerminalDevice(const TerminalDevice&) = delete;
    TerminalDevice& operator=(const TerminalDevice&) = delete;

    // Without becoming the controlling terminal and without waiting for carrier; an advisory
    // lock and the terminal's exclusive mode keep every other opener out, root included. HUPCL
    // is cleared and RTS raised (lines of its own only), as the kernel leaves a port it opens.
    SerialResult open(const std::string& path) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }

    SerialResult configure(std::uint32_t baud) override;
    SerialResult setLines(const LineLevels& levels) override;

    void purge(bool input, bool output) override;
    SerialResult drain() override;
    SerialTransfer bytesQueued() override;
    SerialTransfer read(std::uint8_t* buffer, std::size_t length) override;
    SerialTransfer write(const std::uint8_t* buffer, std::size_t length) override;

    SerialWait wait(bool readable, bool writable, int timeoutMs) override;
    SerialWait waitForDoorbell(int timeoutMs) override;
    void ring() override;

  private:
    SerialWait waitOn(bool watchDevice, bool readable, bool writable, int timeoutMs);
    int setModemLines(const LineLevels& levels);
    void drainDoorbell();

    int fd_ = -1;
    int doorbell_ = -1;
    std::string path_;
    LineLevels modemLevels_;  // what was last put on the device's own lines
    PtyLineChannel lineChannel_;
};

}  // namespace pellion::posix
