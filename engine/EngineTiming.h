#pragma once

#include <chrono>
#include <cstdint>

namespace pellion {

// Bounds on waiting and repeating. The defaults are generous for real chips; tests shorten
// them so that a silent chip fails quickly.
struct EngineTiming {
    // The wait after unprotecting (the chip resets) before synchronising again.
    std::chrono::milliseconds resyncDelay{2000};
    // Added to every awaited answer on top of the wire time and the chip's work.
    std::chrono::milliseconds answerMargin{1000};
    // The chip's work behind an answer.
    std::chrono::milliseconds perErasedPage{100};
    std::chrono::milliseconds programBlock{200};
    std::chrono::milliseconds massErase{10000};  // at least; full chips get perErasedPage each
    std::chrono::milliseconds optionWrite{2000};
    // How long a probe of a socket waits for the answer to each of its two SYNCs, beyond the
    // wire time: a chip in its bootloader answers within milliseconds, an empty socket never.
    std::chrono::milliseconds probeAnswer{100};
    // Repeats after a refusal (or after a lost SYNC) before a step fails.
    std::int32_t maxRepeats = 10;
    // Rounds of readout or write unprotect per run before the slot fails.
    std::int32_t maxUnprotectRounds = 2;
    // A protected chip refuses every time: protection is concluded (and removed, for readout
    // protection with a mass erase) only after the option-byte read, or the erase command, was
    // refused this many times in a row.
    std::int32_t refusalsToConcludeProtection = 3;
    // Reads after the first when option bytes arrive with a broken complement pair, and when a
    // read-back chunk does not match the image.
    std::int32_t maxOptionRereads = 2;
    std::int32_t maxVerifyRereads = 2;
    // Get device code asked again after a refusal or a garbled answer.
    std::int32_t maxCodeRequests = 3;
    // Filler blocks sent to end a frame a chip was left in (256 bytes each; the longest frame
    // the tool sends is 1795 bytes).
    std::int32_t maxFillerBlocks = 8;
    // Answers lost while reading the option bytes, erasing, writing or reading back that a
    // run recovers from (line brought back to a known state, the chip's state read) in a row,
    // without a block or chunk getting through in between, before the slot fails. A run also
    // fails once it has recovered this many times plus once per KiB of its image.
    std::int32_t maxLostAnswerRecoveries = 16;
};

// How long to wait for an answer of `answerBytes` to a frame of `frameBytes` at `baud`, when the
// chip needs `chipWork` in between and the port pauses `writePause` after every write.
std::chrono::milliseconds AnswerTimeout(const EngineTiming& timing, std::uint32_t baud,
                                        std::uint32_t writePauseMs, int frameBytes, int answerBytes,
                                        std::chrono::milliseconds chipWork);

}  // namespace pellion
