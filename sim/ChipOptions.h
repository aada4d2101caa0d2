#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
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
    std::uint32_t serialNumber = 0;           // goes into the unique id in system memory

    // After Go: a line of text every `applicationInterval` (nothing when the text is empty).
    std::string applicationText;
    std::chrono::milliseconds applicationInterval{5};

    ChipTiming timing;
    FaultOptions faults;
};

}  // namespace pellion::sim
