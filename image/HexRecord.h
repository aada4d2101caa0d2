#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace pellion {

enum HexRecordType : std::uint8_t {
    kHexData = 0x00,
    kHexEndOfFile = 0x01,
    kHexExtendedSegment = 0x02,
    kHexStartSegment = 0x03,
    kHexExtendedLinear = 0x04,
    kHexStartLinear = 0x05,
};

struct HexRecord {
    std::uint8_t byteCount = 0;
    std::uint16_t address = 0;
    std::uint8_t type = 0;
    std::array<std::uint8_t, 255> data{};  // byteCount bytes are valid
};

enum class HexLineError {
    None,
    NotARecord,      // no ':' first, or too short to hold the fixed fields
    BadDigit,        // a character that is not a hex digit
    LengthMismatch,  // the digits on the line do not match the byte count
    BadChecksum,
    UnknownType,
    BadAddressRecord,  // an extended address record without exactly two data bytes
};

// Parses one record line, given without its line end. Every field is checked, the checksum
// included; on failure `record` holds nothing useful.
HexLineError parseHexRecord(std::string_view line, HexRecord& record);

}  // namespace pellion
