#include "image/HexRecord.h"

namespace pellion {
namespace {

constexpr std::uint8_t kNotHex = 0xFF;

struct HexDigitTable {
    std::uint8_t value[256];
    constexpr HexDigitTable() : value{} {
        for (int i = 0; i < 256; ++i)
            value[i] = kNotHex;
        for (int i = 0; i < 10; ++i)
            value['0' + i] = static_cast<std::uint8_t>(i);
        for (int i = 0; i < 6; ++i) {
            value['a' + i] = static_cast<std::uint8_t>(10 + i);
            value['A' + i] = static_cast<std::uint8_t>(10 + i);
        }
    }
};
constexpr HexDigitTable kHexDigits;

// Decodes `count` bytes from 2*count digits; false on any non-hex digit.
bool decodeBytes(const char* digits, std::size_t count, std::uint8_t* out) {
    std::uint8_t bad = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t high = kHexDigits.value[static_cast<unsigned char>(digits[2 * i])];
        std::uint8_t low = kHexDigits.value[static_cast<unsigned char>(digits[2 * i + 1])];
        bad |= (high | low) & 0xF0;  // only kNotHex has high bits set
        out[i] = static_cast<std::uint8_t>((high << 4) | (low & 0x0F));
    }
    return bad == 0;
}

bool allHexDigits(std::string_view text) {
    for (char c : text) {
        if (kHexDigits.value[static_cast<unsigned char>(c)] == kNotHex)
            return false;
    }
    return true;
}

// A line whose length does not fit its byte count: a stray character is the likelier cause,
// so it is reported first.
HexLineError malformedLine(std::string_view line) {
    if (!allHexDigits(line.substr(1)))
        return HexLineError::BadDigit;
    return line.size() < 3 ? HexLineError::NotARecord : HexLineError::LengthMismatch;
}

}  // namespace

HexLineError parseHexRecord(std::string_view line, HexRecord& record) {
    // ':' count(2) address(4) type(2) data(2n) checksum(2)
    constexpr std::size_t kFixedChars = 11;
    if (line.empty() || line[0] != ':')
        return HexLineError::NotARecord;
    if (line.size() < kFixedChars)
        return malformedLine(line);
    std::uint8_t head[4];
    if (!decodeBytes(line.data() + 1, 4, head))
        return HexLineError::BadDigit;
    record.byteCount = head[0];
    record.address = static_cast<std::uint16_t>((head[1] << 8) | head[2]);
    record.type = head[3];
    if (line.size() != kFixedChars + 2 * std::size_t{record.byteCount})
        return malformedLine(line);

    if (!decodeBytes(line.data() + 9, record.byteCount, record.data.data())) {
        return HexLineError::BadDigit;
    }
    std::uint8_t checksum;
    if (!decodeBytes(line.data() + 9 + 2 * record.byteCount, 1, &checksum)) {
        return HexLineError::BadDigit;
    }
    std::uint8_t sum = static_cast<std::uint8_t>(head[0] + head[1] + head[2] + head[3] + checksum);
    for (std::size_t i = 0; i < record.byteCount; ++i)
        sum += record.data[i];
    if (sum != 0)
        return HexLineError::BadChecksum;

    if (record.type > kHexStartLinear)
        return HexLineError::UnknownType;
    if ((record.type == kHexExtendedSegment || record.type == kHexExtendedLinear) &&
        record.byteCount != 2) {
        return HexLineError::BadAddressRecord;
    }
    return HexLineError::None;
}

}  // namespace pellion
