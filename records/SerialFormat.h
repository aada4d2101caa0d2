#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellion::records {

// How a serial number becomes the bytes written into a chip.
struct SerialFormat {
    enum class Kind { U32Le, U32Be, Ascii };
    Kind kind = Kind::U32Le;
    // Ascii: the text around the one number field, and the field itself.
    std::string prefix;
    std::string suffix;
    char conversion = 'u';  // u, x or X
    int width = 0;
    bool zeroPad = false;
    bool leftAlign = false;

    friend bool operator==(const SerialFormat&, const SerialFormat&) = default;
};

// A format, or what is wrong with the text and where (1-based character position in it).
struct SerialFormatParse {
    std::optional<SerialFormat> format;
    std::string problem;  // in the operator's words, naming the position
    std::size_t position = 0;
};

// The longest serial block written (a bootloader write takes at most 256 bytes).
inline constexpr std::size_t kMaxSerialBlockBytes = 256;

// "u32le" (or empty: the default), "u32be", or "ascii:TEXT" where TEXT holds exactly one
// printf-style unsigned integer field (%u, %x or %X, with optional 0 or - flag and a width,
// e.g. "ascii:PLN-%06u"); "%%" stands for "%". Anything else is refused.
SerialFormatParse ParseSerialFormat(std::string_view text);

// The bytes that carry `number`, as they go into flash: four for the binary formats, the text
// without a terminating zero for ascii.
std::vector<std::uint8_t> SerialBytes(const SerialFormat& format, std::uint32_t number);
// The block written: the bytes padded with 0xFF to whole words, as Write Memory needs them.
std::vector<std::uint8_t> SerialBlock(const SerialFormat& format, std::uint32_t number);
// The longest block any number can need: what the placement check must reserve.
std::size_t LongestSerialBlock(const SerialFormat& format);

}  // namespace pellion::records
