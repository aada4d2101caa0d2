#pragma once

#include <chrono>
#include <cstdint>

namespace pellion::sim {

using std::chrono::microseconds;
using std::chrono::nanoseconds;

// How long the wire and the flash take. With `enabled` off the chip answers at once, but it still
// accounts for the time the same exchange would take on a real line (busy time).
struct ChipTiming {
    static constexpr int kBitsPerByte = 11;  // start, 8 data, parity, stop
    static constexpr std::uint32_t kFallbackBaud = 57600;

    bool enabled = false;
    // 0: follow the line setting of whoever opened the device, as a chip measures the sync byte.
    std::uint32_t baud = 0;
    microseconds halfWordProgram{52};
    microseconds pageErase{30000};
    microseconds massErase{30000};
    microseconds startup{10000};  // deaf after a reset
    // A USB-serial adapter holds answer bytes back until its latency timer expires (or its
    // buffer fills); 0 models a plain UART.
    microseconds adapterLatency{0};

    static nanoseconds byteTime(std::uint32_t baud) {
        if (baud == 0)
            baud = kFallbackBaud;
        return nanoseconds(std::int64_t(kBitsPerByte) * 1'000'000'000 / baud);
    }
};

}  // namespace pellion::sim
