#include "image/HexImage.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/OperatorText.h"

namespace pellion {
namespace {

// "0A": a record type as the texts name it.
std::string typeText(std::uint8_t type) {
    const char* digits = "0123456789ABCDEF";
    return {digits[type >> 4], digits[type & 15]};
}

OperatorText onLine(TextId id, int lineNumber) {
    return OperatorText(id).with("line", std::to_string(lineNumber));
}

OperatorText lineError(HexLineError error, int lineNumber, std::uint8_t type) {
    switch (error) {
        case HexLineError::NotARecord:
            return onLine(TextId::HexNotARecord, lineNumber);
        case HexLineError::BadDigit:
            return onLine(TextId::HexBadDigit, lineNumber);
        case HexLineError::LengthMismatch:
            return onLine(TextId::HexLengthMismatch, lineNumber);
        case HexLineError::BadChecksum:
            return onLine(TextId::HexBadChecksum, lineNumber);
        case HexLineError::UnknownType:
            return onLine(TextId::HexUnknownType, lineNumber).with("type", typeText(type));
        case HexLineError::BadAddressRecord:
            return onLine(TextId::HexBadAddressRecord, lineNumber);
        case HexLineError::None:
            break;
    }
    return {};
}

// Walks the record lines of a HEX text: blank lines are skipped, CR LF and LF both end a line.
class HexLines {
  public:
    explicit HexLines(std::string_view text) : text_(text) {}

    // The next non-blank line without its line end; false at the end of the text.
    bool next(std::string_view& line) {
        while (pos_ < text_.size()) {
            std::size_t end = text_.find('\n', pos_);
            if (end == std::string_view::npos)
                end = text_.size();
            line = text_.substr(pos_, end - pos_);
            pos_ = end + 1;
            ++lineNumber_;
            while (!line.empty() &&
                   (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
                line.remove_suffix(1);
            }
            if (!line.empty())
                return true;
        }
        return false;
    }
    int lineNumber() const { return lineNumber_; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
    int lineNumber_ = 0;
};

// A run of data records that follow each other without a gap.
struct Segment {
    std::uint32_t address;
    std::uint32_t size;
    std::size_t offset;  // into the collected bytes
    int firstLine;
};

bool inOptionBytes(std::uint64_t address) {
    return address >= kOptionBytesAddress && address < kOptionBytesAddress + kOptionBytesSize;
}

// One past the last address any segment reaches; segments may overlap, so the last to start
// need not be the last to end.
std::uint64_t endOfSegments(const std::vector<Segment>& segments) {
    std::uint64_t end = 0;
    for (const Segment& s : segments)
        end = std::max(end, std::uint64_t{s.address} + s.size);
    return end;
}

// Sorts the segments by address and refuses layouts no download can take.
OperatorText checkLayout(std::vector<Segment>& segments) {
    std::stable_sort(segments.begin(), segments.end(),
                     [](const Segment& a, const Segment& b) { return a.address < b.address; });
    const Segment& first = segments.front();
    std::uint64_t lastAddress = endOfSegments(segments) - 1;
    bool allOption = inOptionBytes(first.address) && inOptionBytes(lastAddress);
    if (!allOption) {
        for (const Segment& s : segments) {
            std::uint64_t end = std::uint64_t{s.address} + s.size;
            if (s.address < kOptionBytesAddress + kOptionBytesSize && end > kOptionBytesAddress) {
                std::uint32_t optionAddress = std::max(s.address, kOptionBytesAddress);
                std::uint32_t otherAddress = inOptionBytes(first.address)
                                                 ? static_cast<std::uint32_t>(lastAddress)
                                                 : first.address;
                return OperatorText(TextId::HexOptionBytesMixed)
                    .with("option", HexAddress(optionAddress))
                    .with("other", HexAddress(otherAddress));
            }
        }
    }
    if (lastAddress - first.address + 1 > kMaxImageSpan) {
        return OperatorText(TextId::HexSpanTooLarge)
            .with("first", HexAddress(first.address))
            .with("last", HexAddress(static_cast<std::uint32_t>(lastAddress)));
    }
    return {};
}

OperatorText overlap(const std::vector<Segment>& segments, std::size_t later,
                     std::uint32_t address) {
    int earlierLine = segments[later].firstLine;
    for (std::size_t j = 0; j < later; ++j) {
        if (segments[j].address <= address &&
            address < std::uint64_t{segments[j].address} + segments[j].size) {
            earlierLine = segments[j].firstLine;
        }
    }
    const int line = segments[later].firstLine;
    return onLine(TextId::HexOverlap, std::max(line, earlierLine))
        .with("earlier", std::to_string(std::min(line, earlierLine)))
        .with("address", HexAddress(address));
}

// Places the sorted segments into the image (filled with 0xFF). A record repeated with the
// same bytes is harmless; one that gives an address other bytes is refused, naming both lines.
OperatorText placeSegments(const std::vector<Segment>& segments,
                           const std::vector<std::uint8_t>& bytes, FirmwareImage& image) {
    const std::uint32_t start = segments.front().address;
    std::vector<bool> placed;
    std::uint64_t coveredEnd = start;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        std::uint8_t* target = image.imageBytes.data() + (s.address - start);
        const std::uint8_t* source = bytes.data() + s.offset;
        if (s.address >= coveredEnd) {
            std::memcpy(target, source, s.size);
        } else {
            if (placed.empty()) {
                // Only layouts with an overlap pay for the record of what is placed.
                placed.assign(image.imageSize, false);
                for (std::size_t j = 0; j < i; ++j) {
                    std::fill_n(placed.begin() + (segments[j].address - start), segments[j].size,
                                true);
                }
            }
            for (std::uint32_t k = 0; k < s.size; ++k) {
                const std::size_t at = s.address - start + k;
                if (placed[at] && image.imageBytes[at] != source[k])
                    return overlap(segments, i, s.address + k);
                image.imageBytes[at] = source[k];
            }
        }
        if (!placed.empty())
            std::fill_n(placed.begin() + (s.address - start), s.size, true);
        coveredEnd = std::max(coveredEnd, std::uint64_t{s.address} + s.size);
    }
    return {};
}

}  // namespace

ImageResult<HexRecord> findHexRecord(std::string_view text, std::uint8_t type) {
    HexLines lines(text);
    std::string_view line;
    HexRecord record;
    while (lines.next(line)) {
        HexLineError error = parseHexRecord(line, record);
        if (error != HexLineError::None) {
            return ImageResult<HexRecord>::failure(
                lineError(error, lines.lineNumber(), record.type));
        }
        if (record.type == type)
            return ImageResult<HexRecord>::success(record);
        if (record.type == kHexEndOfFile)
            break;
    }
    return ImageResult<HexRecord>::failure(
        OperatorText(TextId::HexNoRecordOfType).with("type", typeText(type)));
}

ImageResult<FirmwareImage> hexToImage(std::string_view text) {
    using Result = ImageResult<FirmwareImage>;
    HexLines lines(text);
    std::string_view line;
    HexRecord record;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 16 / 45);  // 16-byte records take about 45 characters
    std::vector<Segment> segments;
    std::uint32_t linearBase = 0;
    std::uint32_t segmentBase = 0;
    bool sawLinear = false;
    bool sawEnd = false;
    // Lowest and one past the highest address so far, to refuse a huge span before it grows.
    std::uint64_t low = UINT64_MAX, high = 0;

    while (!sawEnd && lines.next(line)) {
        HexLineError error = parseHexRecord(line, record);
        if (error != HexLineError::None) {
            return Result::failure(lineError(error, lines.lineNumber(), record.type));
        }
        switch (record.type) {
            case kHexData: {
                if (record.byteCount == 0)
                    break;
                std::uint64_t address =
                    (std::uint64_t{linearBase} << 16) + segmentBase * 16ull + record.address;
                std::uint64_t end = address + record.byteCount;
                if (end > (1ull << 32)) {
                    return Result::failure(
                        onLine(TextId::HexAddressOutOfRange, lines.lineNumber()));
                }
                low = std::min(low, address);
                high = std::max(high, end);
                if (high - low > kMaxImageSpan) {
                    // Refuse before the bytes grow further; checkLayout words the refusal.
                    segments.push_back({static_cast<std::uint32_t>(address), record.byteCount,
                                        bytes.size(), lines.lineNumber()});
                    bytes.insert(bytes.end(), record.data.begin(),
                                 record.data.begin() + record.byteCount);
                    return Result::failure(checkLayout(segments));
                }
                if (!segments.empty() &&
                    std::uint64_t{segments.back().address} + segments.back().size == address) {
                    segments.back().size += record.byteCount;
                } else {
                    segments.push_back({static_cast<std::uint32_t>(address), record.byteCount,
                                        bytes.size(), lines.lineNumber()});
                }
                bytes.insert(bytes.end(), record.data.begin(),
                             record.data.begin() + record.byteCount);
                break;
            }
            case kHexExtendedLinear:
                linearBase = (record.data[0] << 8) | record.data[1];
                sawLinear = true;
                break;
            case kHexExtendedSegment:
                segmentBase = (record.data[0] << 8) | record.data[1];
                break;
            case kHexEndOfFile:
                sawEnd = true;
                break;
            default:  // start addresses mean nothing to a bootloader download
                break;
        }
    }
    if (!sawEnd)
        return Result::failure(OperatorText(TextId::HexNoEnd));
    if (!sawLinear)
        return Result::failure(OperatorText(TextId::HexNoLinearAddress));
    if (segments.empty())
        return Result::failure(OperatorText(TextId::HexNoData));
    if (OperatorText refusal = checkLayout(segments); !refusal.empty()) {
        return Result::failure(refusal);
    }

    const Segment& first = segments.front();
    FirmwareImage image;
    image.startAddress = first.address;
    image.imageSize = static_cast<std::uint32_t>(endOfSegments(segments) - first.address);
    if (segments.size() == 1) {
        bytes.resize(image.imageSize);
        image.imageBytes = std::move(bytes);
    } else {
        image.imageBytes.assign(image.imageSize, 0xFF);
        if (OperatorText refusal = placeSegments(segments, bytes, image); !refusal.empty())
            return Result::failure(refusal);
    }
    return Result::success(std::move(image));
}

ImageResult<std::uint32_t> hexStartAddress(std::string_view text) {
    auto image = hexToImage(text);
    if (!image)
        return ImageResult<std::uint32_t>::failure(image.why());
    return ImageResult<std::uint32_t>::success(image.value().startAddress);
}

}  // namespace pellion
