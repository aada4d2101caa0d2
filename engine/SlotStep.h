#pragma once

#include <cstdint>

namespace pellion {

// The step of a slot's work a state belongs to: what a failure names, as a stable identifier.
enum class SlotStep : std::int32_t {
    None,
    Sync,         // synchronising with the bootloader
    Identify,     // asking for the device code
    ReadOptions,  // reading the option bytes
    Unprotect,    // removing readout or write protection
    Erase,
    Write,
    Verify,  // reading the image back
    Go,
    Protect,    // setting readout protection
    Port,       // the port itself: not opened, or gone
    BootEntry,  // DTR and RTS bringing the chip into its bootloader
    BootExit,   // DTR and RTS starting the programmed chip in place of Go
};

SlotStep StepOfState(std::int32_t state);
// "sync", "identify", "read_options", "unprotect", "erase", "write", "verify", "go",
// "protect", "port", "boot_entry", "boot_exit"; "" for None. These never change: reports are
// read by programs.
const char* StepIdentifier(SlotStep step);

// Whether the state belongs to removing readout protection (rather than write protection).
bool IsReadUnprotectState(std::int32_t state);

}  // namespace pellion
