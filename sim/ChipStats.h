#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pellion::sim {

// Time the chip would have been busy on a real line: bytes on the wire both ways, flash work
// and start-ups after resets. A run cannot be faster than this.
struct BusyTime {
    std::chrono::nanoseconds wireReceive{0};
    std::chrono::nanoseconds wireTransmit{0};
    std::chrono::nanoseconds programming{0};
    std::chrono::nanoseconds erasing{0};
    std::chrono::nanoseconds startup{0};

    std::chrono::nanoseconds total() const {
        return wireReceive + wireTransmit + programming + erasing + startup;
    }
};

struct FlippedBit {
    std::uint32_t address = 0;
    int bit = 0;
};

// Everything a chip counts, for tests and for the summary.
struct ChipStats {
    std::map<std::string, std::uint64_t> commands;  // by command name, valid frames only
    std::uint64_t syncs = 0;
    std::uint64_t acks = 0;
    std::uint64_t nacks = 0;
    std::uint64_t badCommandFrames = 0;  // second byte not the complement
    std::uint64_t resets = 0;
    std::uint64_t bytesReceived = 0;
    std::uint64_t bytesSent = 0;
    std::uint64_t bytesIgnoredWhileStarting = 0;
    std::uint64_t bytesIgnoredInReset = 0;  // arrived while RESET was held
    std::uint64_t bytesProgrammed = 0;      // flash bytes Write Memory or a RAM program wrote
    BusyTime busy;
    // How late answers reached the line against their modelled moment (timing on): the
    // simulator's own share of a run's overhead.
    std::chrono::nanoseconds deliveryLag{0};
    std::chrono::nanoseconds worstDeliveryLag{0};
    std::uint64_t deliveries = 0;

    // Faults that actually happened.
    std::uint64_t strayZeros = 0;
    std::uint64_t injectedNacks = 0;
    std::uint64_t droppedBytes = 0;
    std::uint64_t corruptedBytes = 0;
    std::uint64_t parityDiscards = 0;  // bytes a parity-blind adapter sent with a wrong parity
    bool silenced = false;
    bool disconnected = false;
    std::vector<FlippedBit> flippedBits;

    // Programs Go started in RAM: how many, how the last one ended and the error it made.
    std::uint64_t helperStarts = 0;
    std::string helperEnding;
    std::string helperError;

    std::uint64_t commandCount() const {
        std::uint64_t n = 0;
        for (const auto& [name, count] : commands)
            n += count;
        return n;
    }
    std::uint64_t commandsNamed(const std::string& name) const {
        auto found = commands.find(name);
        return found == commands.end() ? 0 : found->second;
    }
};

}  // namespace pellion::sim
