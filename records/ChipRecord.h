#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellion::records {

// How a chip's cycle ended, as the JSON report and the records name it.
enum class ChipResult { Succeeded, Failed, Refused, NotIdentified };

// The step a chip failed in; None when it did not fail in a step.
enum class ChipStep {
    None,
    Sync,
    Identify,
    ReadOptions,
    Unprotect,
    Erase,
    Write,
    Verify,
    Go,
    Protect,
    Port,
    BootEntry,
    BootExit,
};

// Stable identifiers ("succeeded", "read_options", "" for None) and back.
std::string_view IdOf(ChipResult result);
std::string_view IdOf(ChipStep step);
std::optional<ChipResult> ChipResultFromId(std::string_view id);
std::optional<ChipStep> ChipStepFromId(std::string_view id);

// The image a chip was given.
struct ImageIdentity {
    std::string path;
    std::uint32_t startAddress = 0;
    std::uint32_t size = 0;
    std::uint32_t crc32 = 0;

    friend bool operator==(const ImageIdentity&, const ImageIdentity&) = default;
};

// A serial number taken from a pool for one chip.
struct SerialAssignment {
    std::string pool;
    std::uint32_t number = 0;

    friend bool operator==(const SerialAssignment&, const SerialAssignment&) = default;
};

struct RecordOptions {
    bool verify = false;
    bool protect = false;
    std::string bootEntry;  // the boot-entry sequence as the operator wrote it; empty: none

    friend bool operator==(const RecordOptions&, const RecordOptions&) = default;
};

// What happened to one chip: the traceability record. recordId makes storing idempotent: a
// record stored twice (an upload whose acknowledgement was lost) is kept once.
struct ChipRecord {
    std::string recordId;
    std::string station;
    std::string port;
    std::string usbLocation;      // the adapter's place on the USB tree; empty when not USB
    std::string uniqueId;         // 96 bits as 24 upper-case hex digits; empty when unknown
    std::string uniqueIdMissing;  // why there is none, a short word such as "read_protected"
    std::string deviceCode;
    std::string partName;
    ImageIdentity image;
    std::optional<SerialAssignment> serial;  // the number written into this chip
    RecordOptions options;
    ChipResult result = ChipResult::Failed;
    ChipStep failedStep = ChipStep::None;
    std::string remark;
    std::int64_t startedAtMs = 0;  // UTC, milliseconds since 1970
    std::int64_t endedAtMs = 0;
    std::int64_t durationMs = 0;  // from a steady clock, so not always end minus start
    std::string toolVersion;

    friend bool operator==(const ChipRecord&, const ChipRecord&) = default;
};

// A record with a fresh id, this station's name and this build's version filled in.
ChipRecord NewChipRecord();

// The 96-bit unique ID read from a chip (12 bytes as read) as upper-case hex.
std::string UniqueIdHex(const std::uint8_t (&bytes)[12]);
// Normalises typed hex ("1a2b...", with or without spaces or dashes); none unless it holds
// exactly 24 hex digits.
std::optional<std::string> NormalisedUniqueId(std::string_view text);

}  // namespace pellion::records
