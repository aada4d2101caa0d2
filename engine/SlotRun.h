#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/SlotEvents.h"
#include "engine/SlotStep.h"
#include "engine/WritePlan.h"
#include "image/FirmwareImage.h"

namespace pellion {

enum class SlotOutcome : std::int32_t {
    Idle,       // no run on this slot since it was opened
    Running,    // started by the last run and not ended
    Succeeded,  // the whole image is on the chip (and verified, protected or started)
    Failed,     // ended with a failure (failedStep)
    Cancelled,  // its port was closed while it ran
};

// The engine's own per-slot data, beside the fields the port list knows.
struct SlotRun {
    std::uint64_t session = 0;            // changes on every open, close and run start
    std::uint64_t runId = 0;              // the run that started this slot last
    std::uint64_t answerTimer = 0;        // time-out of the awaited answer; 0: none armed
    std::uint64_t delayTimer = 0;         // the wait after unprotecting or a reset
    std::uint32_t endAddress = 0;         // last address this slot writes
    std::uint32_t blockAddress = 0;       // address of the data frame last sent
    std::uint32_t writtenAddress = 0;     // end of the blocks the chip acknowledged so far
    std::uint32_t verifyAddress = 0;      // next address to read back
    std::int32_t verifyCount = 0;         // bytes asked for by the last read-back
    std::int32_t progressTotal = 0;       // the progress total once known; 0 before
    std::int32_t expectedBytes = 1;       // size of the awaited answer
    std::vector<std::uint8_t> pending;    // the part of a longer answer that arrived so far
    std::vector<std::uint8_t> assembled;  // the joined answer while it is examined
    std::uint64_t answers = 0;            // deliveries handled since the port was opened
    std::uint64_t joinedAnswers = 0;      // answers that arrived in more than one delivery
    std::int32_t repeats = 0;             // refusals and time-outs in the current step
    std::int32_t readUnprotectRounds = 0;
    std::int32_t writeUnprotectRounds = 0;
    std::shared_ptr<const FirmwareImage> image;  // what this cycle writes (its run's, shared)
    bool verify = false;                         // read the image back before finishing
    bool protect = false;                        // set readout protection at the end
    WritePlan write;                             // block size, blank blocks skipped
    bool verified = false;                       // the read-back matched
    bool optionWritten = false;                  // option bytes written: the chip restarts
    bool awaitingModel = false;                  // identification ended without a usable code
    bool inRun = false;                          // started by the current run
    SlotOutcome outcome = SlotOutcome::Idle;
    std::string deviceCode;  // as reported, when it was
    std::chrono::steady_clock::time_point started{};
    std::chrono::steady_clock::time_point ended{};

    // Identification.
    bool namedItself = false;       // its device code is in the catalogue: never re-geometried
    bool syncedByNack = false;      // SYNC was answered by NACK (the bootloader was listening)
    std::int32_t codeRequests = 0;  // Get device code sent in this identification
    std::int32_t silentCodeRequests = 0;  // of those, the ones nothing at all answered
    std::int32_t lineRecoveries = 0;      // filler rounds in this identification
    std::int32_t fillerBlocks = 0;        // filler blocks of the current round

    // The unique ID, read when the cycle's inputs ask for it.
    bool readUniqueId = false;
    std::int32_t uniqueIdRefusals = 0;  // refusals of its read, in a row
    bool uniqueIdRefused = false;       // refused in a row: the chip is readout-protected
    std::optional<ChipUniqueId> uniqueId;

    // What the answers of the current step looked like.
    bool garbledAnswer = false;  // an answer that was neither ACK nor NACK arrived

    // The run.
    std::int32_t optionReadRefusals = 0;       // refusals of the option-byte read, in a row
    std::int32_t optionRereads = 0;            // reads again after a broken complement pair
    bool optionBytesRead = false;              // read intact in this run: not readout-protected
    std::int32_t verifyRereads = 0;            // reads again of the current read-back chunk
    std::vector<std::uint8_t> verifyMismatch;  // the last read of a chunk that did not match
    bool verifyFailed = false;                 // the read-back found the flash different
    bool massErased = false;                   // a readout unprotect erased the whole chip
    bool erased = false;                       // the image's pages were erased in this run
    std::uint32_t blankBytesSkipped = 0;       // in blank blocks: on the chip, not sent
    std::int32_t recoveries = 0;               // lost answers recovered from in this run
    std::int32_t recoveredState = 0;           // the step a recovery returns to
    std::int32_t recoveryFillers = 0;          // filler blocks of the current recovery
    std::uint32_t checkedBlockBytes = 0;       // image bytes of the block read back
    bool stopRequested = false;  // end after the answer in flight (the run is interrupted)
    bool interrupted = false;    // ended by an interruption, not by the chip
    SlotStep failedStep = SlotStep::None;
};

}  // namespace pellion
