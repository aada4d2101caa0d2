#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "sim/BoardPins.h"
#include "sim/ChipTiming.h"
#include "sim/FaultOptions.h"

namespace pellion::sim {

// What a chip does with an erase or write that touches a write-protected page. Current
// bootloaders acknowledge it and leave the page as it was; older ones refuse it.
enum class ProtectedWritePolicy { AckWithoutEffect, Nack };

struct ChipOptions {
    DeviceCode code{"1RCB"};
    // The flash geometry; when absent it comes from the catalogue entry of `code`.
    std::optional<DeviceGeometry> geometry;
    std::uint16_t productId = 0x0410;
    bool deviceCodeCommand = true;  // without it, Get device code is refused
    ProtectedWritePolicy protectedWrites = ProtectedWritePolicy::AckWithoutEffect;

    // Start-up state.
    bool readoutProtected = false;
    std::uint32_t writeProtectedRegions = 0;  // bit i set: 4 KiB region i protected
    std::vector<std::uint8_t> initialFlash;   // from the start of flash; the rest erased
    std::uint32_t serialNumber = 0;           // the socket's number: goes into the unique id
    std::uint64_t uniqueIdSeed = 1;           // the simulator's seed: goes into the unique id

    // The board: how the adapter's DTR and RTS reach RESET and BOOT0, and whether BOOT0 has
    // the jumper that keeps it high (the chip then always starts its bootloader) or only the
    // line can raise it (the chip powers up running its application, as a fresh board does).
    Wiring wiring = Wiring::DtrReset;
    bool startInApplication = false;
    // When set: this long after the chip's programming ends (Go, a reset into a program written
    // here, the reset after readout protection was set on it), a fresh chip takes its socket.
    std::optional<std::chrono::milliseconds> replaceAfterGo;

    // After Go: a line of text every `applicationInterval` (nothing when the text is empty).
    std::string applicationText;
    std::chrono::milliseconds applicationInterval{5};

    ChipTiming timing;
    FaultOptions faults;
};

}  // namespace pellion::sim
