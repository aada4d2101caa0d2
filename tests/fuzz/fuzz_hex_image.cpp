// Feeds arbitrary text to the HEX reader. Besides the sanitizers' checks: a converted image
// keeps its promises (size, span, address range), and writing it out again as HEX and reading
// that back gives the same image.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "image/HexImage.h"
#include "image/HexRecord.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

std::string record(std::uint8_t type, std::uint16_t address, const std::uint8_t* data, int n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string line = ":";
    std::uint8_t sum = 0;
    auto put = [&](std::uint8_t b) {
        sum = static_cast<std::uint8_t>(sum + b);
        line += digits[b >> 4];
        line += digits[b & 15];
    };
    put(static_cast<std::uint8_t>(n));
    put(static_cast<std::uint8_t>(address >> 8));
    put(static_cast<std::uint8_t>(address));
    put(type);
    for (int i = 0; i < n; ++i)
        put(data[i]);
    std::uint8_t checksum = static_cast<std::uint8_t>(-sum);
    line += digits[checksum >> 4];
    line += digits[checksum & 15];
    return line + "\n";
}

std::string rewrite(const pellion::FirmwareImage& image) {
    std::string text;
    long upper = -1;
    for (std::uint32_t offset = 0; offset < image.imageSize;) {
        std::uint32_t address = image.startAddress + offset;
        if (static_cast<long>(address >> 16) != upper) {
            upper = address >> 16;
            std::uint8_t base[2] = {static_cast<std::uint8_t>(upper >> 8),
                                    static_cast<std::uint8_t>(upper)};
            text += record(4, 0, base, 2);
        }
        std::uint32_t n = std::min<std::uint32_t>(
            {32u, image.imageSize - offset, 0x10000u - (address & 0xFFFFu)});
        text += record(0, static_cast<std::uint16_t>(address), image.imageBytes.data() + offset,
                       static_cast<int>(n));
        offset += n;
    }
    return text + ":00000001FF\n";
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Random text rarely carries right checksums; mending them lets the fuzzer reach placement.
std::string mendChecksums(std::string text) {
    static const char digits[] = "0123456789ABCDEF";
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::size_t last = end;
        if (last > pos && text[last - 1] == '\r')
            --last;
        std::size_t length = last - pos;
        if (length >= 11 && length % 2 == 1 && text[pos] == ':') {
            std::uint8_t sum = 0;
            bool hex = true;
            for (std::size_t i = pos + 1; i + 2 < last && hex; i += 2) {
                int high = hexValue(text[i]), low = hexValue(text[i + 1]);
                hex = high >= 0 && low >= 0;
                sum = static_cast<std::uint8_t>(sum + high * 16 + low);
            }
            if (hex) {
                std::uint8_t checksum = static_cast<std::uint8_t>(-sum);
                text[last - 2] = digits[checksum >> 4];
                text[last - 1] = digits[checksum & 15];
            }
        }
        pos = end + 1;
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte chooses whether checksums are mended before reading.
    std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1)
        input = mendChecksums(std::move(input));
    std::string_view text = input;

    pellion::HexRecord record;
    pellion::parseHexRecord(text.substr(0, text.find('\n')), record);
    (void)pellion::findHexRecord(text, pellion::kHexData);

    auto image = pellion::hexToImage(text);
    auto start = pellion::hexStartAddress(text);
    check(image.ok() == start.ok(), "start address agrees with the conversion");
    if (!image) {
        check(!image.error().empty(), "a refusal says why");
        return 0;
    }
    const auto& im = image.value();
    check(im.imageSize == im.imageBytes.size(), "size matches the bytes");
    check(im.imageSize > 0 && im.imageSize <= pellion::kMaxImageSpan, "span within the limit");
    check(std::uint64_t{im.startAddress} + im.imageSize <= (1ull << 32), "within 32 bits");
    check(start.value() == im.startAddress, "same start address");

    auto again = pellion::hexToImage(rewrite(im));
    check(again.ok(), "a written image reads back");
    check(again.value().startAddress == im.startAddress, "round trip keeps the start");
    check(again.value().imageBytes == im.imageBytes, "round trip keeps the bytes");
    return 0;
}
