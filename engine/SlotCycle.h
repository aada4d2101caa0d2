#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/BootloaderCodec.h"
#include "engine/SlotInputs.h"

namespace pellion {

// The state machine's scratch for one slot's cycle: where the protocol stands, what it awaits,
// and the counters that bound its repeats. Outside the state machine only the state and the
// progress (addresses, the image) are read. Every cycle (an identification, a run) starts
// with a fresh one.
struct SlotCycle {
    std::int32_t state = 0;  // the engine's PortState
    SlotInputs inputs;       // taken when the cycle started; the image is the run's, shared

    // The link.
    std::uint64_t session = 0;            // changes on every open, close and cycle start
    std::uint64_t answerTimer = 0;        // time-out of the awaited answer; 0: none armed
    std::uint64_t delayTimer = 0;         // the wait after unprotecting or a reset
    std::int32_t expectedBytes = 1;       // size of the awaited answer
    std::vector<std::uint8_t> pending;    // the part of a longer answer that arrived so far
    std::vector<std::uint8_t> assembled;  // the joined answer while it is examined
    std::uint64_t answers = 0;            // deliveries handled in this cycle
    std::uint64_t joinedAnswers = 0;      // answers that arrived in more than one delivery
    std::int32_t repeats = 0;             // refusals and time-outs in the current step
    bool garbledAnswer = false;           // an answer that was neither ACK nor NACK arrived
    bool stopRequested = false;           // end after the answer in flight (the run is interrupted)
    std::uint64_t endHeld = 0;            // the cycle has ended; its end waits for this hold

    // Identification.
    bool probing = false;           // a probe: events held until it is announced (production mode)
    bool syncedByNack = false;      // SYNC was answered by NACK (the bootloader was listening)
    std::int32_t codeRequests = 0;  // Get device code sent in this identification
    std::int32_t silentCodeRequests = 0;  // of those, the ones nothing at all answered
    std::int32_t lineRecoveries = 0;      // filler rounds in this identification
    std::int32_t fillerBlocks = 0;        // filler blocks of the current round
    std::int32_t uniqueIdRefusals = 0;    // refusals of the unique ID's read, in a row

    // The run.
    OptionBytes optionBytes{};
    std::int32_t optionReadRefusals = 0;  // refusals of the option-byte read, in a row
    std::int32_t optionRereads = 0;       // reads again after a broken complement pair
    bool optionBytesRead = false;         // read intact in this run: not readout-protected
    bool optionWritten = false;           // option bytes written: the chip restarts
    std::int32_t readUnprotectRounds = 0;
    std::int32_t writeUnprotectRounds = 0;
    std::array<std::uint16_t, kMaxPageListSize> pageList{};
    bool erased = false;                       // the image's pages were erased in this cycle
    std::uint32_t endAddress = 0;              // last address this slot writes
    std::uint32_t writeAddress = 0;            // target of the next write block
    std::uint32_t imageCursor = 0;             // offset of the next byte to send in the image
    std::uint32_t blockAddress = 0;            // address of the data frame last sent
    std::uint32_t writtenAddress = 0;          // end of the blocks the chip acknowledged so far
    std::int32_t progressTotal = 0;            // the progress total once known; 0 before
    std::uint32_t verifyAddress = 0;           // next address to read back
    std::int32_t verifyCount = 0;              // bytes asked for by the last read-back
    std::int32_t verifyRereads = 0;            // reads again of the current read-back chunk
    std::vector<std::uint8_t> verifyMismatch;  // the last read of a chunk that did not match

    // The serial block (SlotInputs::serial): the write and the read-back move on to it after
    // the image's last byte, with endAddress then the block's last address.
    std::vector<std::uint8_t> serialBytes;
    bool serialEntered = false;         // the write has reached the block
    bool inSerialBlock = false;         // the write or read-back is in the block now
    bool serialVerifying = false;       // the read-back has reached the block
    std::uint32_t imageEndAddress = 0;  // the image's last address, once the block's is in use
    std::uint32_t imageBytesAcked = 0;  // of the image, when the write moved to the block

    // Recovery from a lost answer.
    std::int32_t recoveredState = 0;      // the step a recovery returns to
    std::int32_t recoveriesInARow = 0;    // since a step last got through
    std::int32_t recoveryFillers = 0;     // filler blocks of the current recovery
    std::uint32_t checkedBlockBytes = 0;  // image bytes of the block read back
};

}  // namespace pellion
