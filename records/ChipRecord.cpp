#include "records/ChipRecord.h"

#include <array>
#include <cctype>
#include <utility>

#include "Version.h"
#include "records/RecordId.h"
#include "records/StationName.h"

namespace pellion::records {
namespace {

constexpr std::array<std::pair<ChipResult, std::string_view>, 4> kResultIds{{
    {ChipResult::Succeeded, "succeeded"},
    {ChipResult::Failed, "failed"},
    {ChipResult::Refused, "refused"},
    {ChipResult::NotIdentified, "not_identified"},
}};

constexpr std::array<std::pair<ChipStep, std::string_view>, 13> kStepIds{{
    {ChipStep::None, ""},
    {ChipStep::Sync, "sync"},
    {ChipStep::Identify, "identify"},
    {ChipStep::ReadOptions, "read_options"},
    {ChipStep::Unprotect, "unprotect"},
    {ChipStep::Erase, "erase"},
    {ChipStep::Write, "write"},
    {ChipStep::Verify, "verify"},
    {ChipStep::Go, "go"},
    {ChipStep::Protect, "protect"},
    {ChipStep::Port, "port"},
    {ChipStep::BootEntry, "boot_entry"},
    {ChipStep::BootExit, "boot_exit"},
}};

template <class E, std::size_t N>
std::string_view idIn(const std::array<std::pair<E, std::string_view>, N>& table, E value) {
    for (const auto& [e, id] : table) {
        if (e == value)
            return id;
    }
    return {};
}

template <class E, std::size_t N>
std::optional<E> valueIn(const std::array<std::pair<E, std::string_view>, N>& table,
                         std::string_view id) {
    for (const auto& [e, text] : table) {
        if (text == id)
            return e;
    }
    return std::nullopt;
}

}  // namespace

std::string_view IdOf(ChipResult result) {
    return idIn(kResultIds, result);
}
std::string_view IdOf(ChipStep step) {
    return idIn(kStepIds, step);
}
std::optional<ChipResult> ChipResultFromId(std::string_view id) {
    return valueIn(kResultIds, id);
}
std::optional<ChipStep> ChipStepFromId(std::string_view id) {
    return valueIn(kStepIds, id);
}

ChipRecord NewChipRecord() {
    ChipRecord record;
    record.recordId = NewRecordId();
    record.station = StationName();
    record.toolVersion = PELLION_FILE_VERSION;
    return record;
}

std::string UniqueIdHex(const std::uint8_t (&bytes)[12]) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::uint8_t b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 0x0F];
    }
    return hex;
}

std::optional<std::string> NormalisedUniqueId(std::string_view text) {
    std::string hex;
    for (char c : text) {
        if (c == ' ' || c == '-' || c == ':')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        hex += char(std::toupper(static_cast<unsigned char>(c)));
    }
    if (hex.size() != 24)
        return std::nullopt;
    return hex;
}

}  // namespace pellion::records
