#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "sim/ChipMemory.h"
#include "sim/ChipStats.h"
#include "sim/UniqueId.h"

namespace pellion::sim {

// Everything a test or a dump needs of one chip, taken at one moment: of the chip in a socket,
// or of a chip that has left its socket (and will never change again).
struct ChipSnapshot {
    std::string devicePath;  // of the socket
    DeviceCode code;
    std::uint32_t sequence = 0;  // 0: the socket's first chip, 1: the chip that replaced it, ...
    UniqueId uniqueId{};
    std::string state;  // chipStateName() at that moment
    bool readoutProtected = false;
    std::uint32_t writeProtection = 0xFFFFFFFF;
    ChipStats stats;
    // Flash from its start up to the last byte that is not erased: the erased rest is left out
    // so that chips that have left their sockets cost little memory. fullFlash() adds it back.
    std::vector<std::uint8_t> flash;
    std::size_t flashBytes = 0;
    OptionBytes optionBytes{};

    std::vector<std::uint8_t> fullFlash() const {
        std::vector<std::uint8_t> all(flash);
        all.resize(std::max(flashBytes, flash.size()), 0xFF);
        return all;
    }
};

}  // namespace pellion::sim
