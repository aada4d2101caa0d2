#pragma once

#include <chrono>
#include <cstdint>

#include "engine/SlotStep.h"

namespace pellion {

enum class SlotOutcome : std::int32_t {
    Idle,       // no run on this slot since it was opened
    Running,    // started by the last run and not ended
    Succeeded,  // the whole image is on the chip (and verified, protected or started)
    Failed,     // ended with a failure (failedStep)
    Cancelled,  // its port was closed while it ran
};

// What a slot's cycle came to: what the run control, reports and records read once it ended
// (the events tell the same as it happens). Starts afresh with every cycle.
struct CycleResult {
    std::uint64_t runId = 0;  // the run that started this slot last
    bool inRun = false;       // started by a run (not only identified)
    SlotOutcome outcome = SlotOutcome::Idle;
    SlotStep failedStep = SlotStep::None;
    std::uint32_t blankBytesSkipped = 0;  // in blank blocks: on the chip, not sent
    std::int32_t recoveries = 0;          // lost answers recovered from
    bool verified = false;                // the read-back matched
    bool verifyFailed = false;            // the read-back found the flash different
    bool massErased = false;              // a readout unprotect erased the whole chip
    bool interrupted = false;             // ended by an interruption, not by the chip
    std::chrono::steady_clock::time_point started{};
    std::chrono::steady_clock::time_point ended{};
};

}  // namespace pellion
