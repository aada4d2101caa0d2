#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/SlotStep.h"

namespace pellion {

// What the engine tells about a slot's life, as values with stable identifiers. Surfaces make
// their texts from these (TextTable.h); none carries a text.

// A slot's work comes in two phases: identifying the chip when its port opens, and programming
// it when a run starts (production mode chains them into one cycle).
enum class SlotPhase : std::uint8_t { Identification, Programming };

struct SlotStarted {
    std::int32_t slot = 0;
    SlotPhase phase = SlotPhase::Identification;
};

struct StepStarted {
    std::int32_t slot = 0;
    SlotStep step = SlotStep::None;
    bool again = false;  // synchronising again after silence, or after a chip left mid-frame
};

// A fact a step established on the way, named in the slot's remark.
enum class Milestone : std::uint8_t {
    Erased,
    EraseRefused,  // refused in a row: taken as protection, which is removed next
    Written,       // the whole image is on the chip
    GoAccepted,
    WriteUnprotected,
    ReadUnprotected,  // the whole chip was erased with it
    Protected,
    Verified,
    Restarted,  // the boot exit reset the chip into its new program
};
// "erased", "erase_refused", "written", "go_accepted", "write_unprotected",
// "read_unprotected", "protected", "verified", "restarted". These never change.
const char* MilestoneIdentifier(Milestone milestone);

struct MilestoneReached {
    std::int32_t slot = 0;
    Milestone milestone = Milestone::Erased;
};

// The 96 bits a chip carries as its identity, the byte at the lowest address first.
using ChipUniqueId = std::array<std::uint8_t, 12>;

// The chip named itself with a code the catalogue knows.
struct Identified {
    std::int32_t slot = 0;
    std::string code;  // "0410"
    std::string part;  // empty when the catalogue has a geometry but no name for it
    // Read only when the cycle's inputs ask for it (SlotInputs::readUniqueId).
    std::optional<ChipUniqueId> uniqueId;
    bool uniqueIdRefused = false;  // asked for, and refused: the chip is readout-protected
};

// Identification ended without a usable code: the operator must choose the model.
struct ModelNeeded {
    std::int32_t slot = 0;
    std::string code;    // as reported; empty when the chip gave none
    bool unknownDevice;  // it answered, with a code the catalogue does not know (or too short)
};

// Bytes moved so far: written, plus read back when the run verifies. `total` is 0 until the
// erase has fixed it.
struct Progress {
    std::int32_t slot = 0;
    std::int32_t done = 0;
    std::int32_t total = 0;
};

enum class SlotResult : std::uint8_t { Succeeded, Failed, Cancelled };

// Why a slot failed; "none" when the step's own failure says it all.
enum class EndReason : std::uint8_t {
    None,
    NoAnswer,  // nothing arrived in time
    // SYNC was acknowledged and then no command answered at all: an adapter sending without
    // parity, which only SYNC's byte survives.
    NoAnswerParityBlind,
    Garbled,             // something other than the awaited answer arrived
    Refused,             // refused more often than the step may repeat
    OptionBytesCorrupt,  // option bytes kept arriving without their complements
    Interrupted,         // the run was interrupted
    PortGone,            // the port went away
    DataRefused,         // a written block was refused (at `address`)
    FlashDiffers,        // the read-back differs from the image (at `address`)
    NoLines,             // the port cannot drive DTR and RTS at all
    LinesFailed,         // setting DTR or RTS failed
    NoSerialNumber,      // the cycle's serial block could not be had (no number from the pool)
    // The port could not be opened (the slot never started).
    PortBusy,
    PortAbsent,
    NotASerialPort,
    PortDenied,
    PortNotStarted,  // opened, but its monitor thread could not start
};
// "", "no_answer", "no_answer_parity", "garbled", "refused", "option_bytes_corrupt", "interrupted",
// "port_gone", "data_refused", "flash_differs", "no_lines", "lines_failed", "port_busy",
// "port_absent", "not_a_serial_port", "port_denied", "port_not_started". These never change.
const char* ReasonIdentifier(EndReason reason);

// The one terminal event of a slot's phase, whatever ended it.
struct SlotEnded {
    std::int32_t slot = 0;
    SlotPhase phase = SlotPhase::Programming;
    SlotResult result = SlotResult::Failed;
    SlotStep failedStep = SlotStep::None;  // for reports: "port" when the port went away
    SlotStep during = SlotStep::None;      // the step under way; None when idle
    bool readout = false;                  // during Unprotect: removing readout protection
    EndReason reason = EndReason::None;
    std::uint32_t address = 0;  // DataRefused, FlashDiffers
    bool verified = false;
    bool massErased = false;
    bool interrupted = false;
    std::uint32_t bytesWritten = 0;       // sent and acknowledged by the chip
    std::uint32_t blankBytesSkipped = 0;  // in blocks of 0xFF left as the erase left them
    std::int32_t recoveries = 0;          // lost answers the cycle recovered from
};

// A probe of a socket ended (production mode): whether a chip answered its SYNC and, when it
// named itself, what it is. A probe is no cycle: it ends with this event and no SlotEnded, and
// a slot whose probe was answered tells nothing else until the probe is announced.
struct SocketProbed {
    std::int32_t slot = 0;
    bool answered = false;
    bool identified = false;  // named itself with a code the catalogue knows
    std::string code;
    std::optional<ChipUniqueId> uniqueId;  // when the chip let it be read
    bool uniqueIdRefused = false;          // it refused: readout-protected
};

// Receives the engine's events on the owner thread, in the order they happen. Every call has
// a default: a listener takes what it needs.
class EngineListener {
  public:
    virtual ~EngineListener() = default;
    virtual void OnSlotStarted(const SlotStarted&) {}
    virtual void OnStepStarted(const StepStarted&) {}
    virtual void OnMilestone(const MilestoneReached&) {}
    virtual void OnIdentified(const Identified&) {}
    virtual void OnModelNeeded(const ModelNeeded&) {}
    virtual void OnProgress(const Progress&) {}
    virtual void OnSlotEnded(const SlotEnded&) {}
    virtual void OnSocketProbed(const SocketProbed&) {}
    // The slot's port closed (unticked, or reopened at another rate): its row starts afresh.
    virtual void OnSlotClosed(std::int32_t /*slot*/) {}
    // Every slot of the run has ended.
    virtual void OnRunEnded() {}
};

}  // namespace pellion
