#pragma once

#include <memory>
#include <vector>

#include "sim/mcu/McuContext.h"
#include "sim/mcu/SerialPeripheral.h"

namespace pellion::sim::mcu {

// A program the bootloader's Go started in RAM, run on an emulated Cortex-M3 with models of
// the clock controller, flash controller, port A, USART1 and the system timer, over the chip's
// own memory and timing model.
//
// Instructions take a cycle per half-word of code at the core clock. Time also passes while
// the program polls a status register that cannot change before the next modelled event (the
// flash finishing, a byte arriving or leaving, the PLL locking, the timer wrapping): the
// machine skips to that event. It never runs ahead of `horizon`, the moment up to which every
// host byte is known. A program that waits for something no model will ever do, touches a
// register no model knows or runs on without touching anything ends with an error.
class HelperMachine {
  public:
    enum class Ending { Running, Failed, SystemReset, ProgramStarted };

    HelperMachine(ChipMemory& memory, const ChipOptions& options, FaultInjector& faults,
                  ChipStats& stats);
    ~HelperMachine();
    HelperMachine(const HelperMachine&) = delete;
    HelperMachine& operator=(const HelperMachine&) = delete;

    // As Go does: the stack pointer from the word at `vectors`, the entry from the next one.
    void start(std::uint32_t vectors, McuTime at);
    void receive(std::uint8_t value, McuTime arrival, std::uint32_t hostBaud);
    void setHostBaud(std::uint32_t baud);
    // Runs until the program waits for the host, or for a moment after `horizon` (timing on),
    // or after the wall clock (timing off), or ends.
    void run(McuTime wallNow, McuTime horizon);
    // When the program wants to go on without hearing from the host.
    std::optional<McuTime> wakeAt() const;
    std::vector<SerialPeripheral::Sent> takeSent();

    Ending ending() const;
    const std::string& error() const;
    McuTime now() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

const char* endingName(HelperMachine::Ending ending);

}  // namespace pellion::sim::mcu
