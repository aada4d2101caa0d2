#pragma once

#include <cstdint>
#include <string_view>

#include "image/FirmwareImage.h"
#include "image/HexRecord.h"
#include "image/ImageResult.h"

namespace pellion {

// The largest flash of any catalogued device; no image may span more.
constexpr std::uint32_t kMaxImageSpan = 3072u * 1024u;
// The option-byte area, which is programmed on its own, never together with other data.
constexpr std::uint32_t kOptionBytesAddress = 0x1FFFF800u;
constexpr std::uint32_t kOptionBytesSize = 16;

// The first record of `type` in the text. Every line before it must be a valid record.
ImageResult<HexRecord> findHexRecord(std::string_view text, std::uint8_t type);

// Converts HEX text to an image in one pass. Every data record lands at its own address
// (the latest type-04 and type-02 records before it give the base); the image runs from the
// lowest to the highest data address with gaps filled with 0xFF, and startAddress is the
// lowest data address. Lines may end in CR LF or LF; the end-of-file record ends the data.
ImageResult<FirmwareImage> hexToImage(std::string_view text);

// The address a HEX text's image starts at, as hexToImage computes it.
ImageResult<std::uint32_t> hexStartAddress(std::string_view text);

}  // namespace pellion
