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
#include "tests/support/HexText.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
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

    auto again =
        pellion::hexToImage(pellion::test::makeHexText(im.startAddress, im.imageBytes, 32, "\n"));
    check(again.ok(), "a written image reads back");
    check(again.value().startAddress == im.startAddress, "round trip keeps the start");
    check(again.value().imageBytes == im.imageBytes, "round trip keeps the bytes");
    return 0;
}
