#pragma once

#include <cstdint>

namespace pellion::sim {

// Misbehaviour a chip can be told to show. Every random choice comes from `seed`, so a run is
// reproducible. Probabilities are 0..1; counts of -1 mean never.
struct FaultOptions {
    std::uint64_t seed = 1;
    bool strayZeroBeforeSyncAck = false;   // answers 00 79 to the sync byte
    double nackProbability = 0;            // per command: NACK where its first ACK belongs
    double dropAnswerByteProbability = 0;  // per answer byte
    double corruptAnswerByteProbability = 0;
    std::int64_t corruptAnswerByteAt = -1;   // flips the lowest bit of answer byte K (from 0)
    std::int64_t dropAnswerByteAt = -1;      // drops answer byte K (from 0, dropped ones count)
    std::int64_t silentAfterCommands = -1;   // answers K commands, then nothing more
    std::int64_t disconnectAfterBytes = -1;  // closes the line when byte K has arrived
    double badCellProbability = 0;           // per flash write: one programmed bit flips
    // An adapter that sends without parity: the chip's parity check drops every byte with an
    // even number of one bits (the sync byte 0x7F passes, most command bytes do not).
    bool parityBlindAdapter = false;

    friend bool operator==(const FaultOptions&, const FaultOptions&) = default;

    bool any() const {
        return strayZeroBeforeSyncAck || nackProbability > 0 || dropAnswerByteProbability > 0 ||
               corruptAnswerByteProbability > 0 || corruptAnswerByteAt >= 0 ||
               dropAnswerByteAt >= 0 || silentAfterCommands >= 0 || disconnectAfterBytes >= 0 ||
               badCellProbability > 0 || parityBlindAdapter;
    }
};

}  // namespace pellion::sim
