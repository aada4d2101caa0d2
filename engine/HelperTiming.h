#pragma once

#include <chrono>
#include <cstdint>

namespace pellion {

// How long the host waits for each answer of the RAM helper: a second of margin, as the
// engine's, on top of the wire and the chips' worst flash times (40 ms a page erase, 70 us a
// half-word) and a core on its 8 MHz oscillator.
using std::chrono::milliseconds;

// The wire time of `bytes` at `baud` (11 bits a byte), rounded up.
milliseconds HelperWireTime(std::uint32_t bytes, std::uint32_t baud);
// From Go's acknowledgement to the helper's Ready.
milliseconds HelperReadyTimeout(std::uint32_t baud);
milliseconds HelperEraseTimeout(int pages, std::uint32_t baud);
// From sending a chunk to its answer, with the write window full ahead of it.
milliseconds HelperWriteTimeout(std::uint32_t baud);
milliseconds HelperCrcTimeout(std::uint32_t length, std::uint32_t baud);
// Speed switch: the answer at the old speed, then each Ping at the new one.
milliseconds HelperSpeedAnswerTimeout(std::uint32_t baud);
milliseconds HelperSpeedPingTimeout(std::uint32_t newBaud);
// After a failed switch, how long after the Speed answer the helper is back at the old speed.
milliseconds HelperSpeedFallbackDelay();

}  // namespace pellion
