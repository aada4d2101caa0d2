#include "support/HexFixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pellion::test {

std::string hexRecordLine(std::uint8_t type, std::uint16_t address,
                          const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> fields = {static_cast<std::uint8_t>(data.size()),
                                        static_cast<std::uint8_t>(address >> 8),
                                        static_cast<std::uint8_t>(address), type};
    fields.insert(fields.end(), data.begin(), data.end());
    std::uint8_t sum = 0;
    std::string line = ":";
    char digits[3];
    for (std::uint8_t b : fields) {
        sum = static_cast<std::uint8_t>(sum + b);
        std::snprintf(digits, sizeof digits, "%02X", b);
        line += digits;
    }
    std::snprintf(digits, sizeof digits, "%02X", static_cast<std::uint8_t>(-sum));
    return line + digits;
}

std::string makeHexText(std::uint32_t startAddress, const std::vector<std::uint8_t>& bytes,
                        int recordSize, const std::string& lineEnd) {
    std::string text;
    long upper = -1;
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        std::uint32_t address = startAddress + static_cast<std::uint32_t>(offset);
        if (static_cast<long>(address >> 16) != upper) {
            upper = address >> 16;
            text += hexRecordLine(
                        4, 0,
                        {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)}) +
                    lineEnd;
        }
        std::size_t room = 0x10000 - (address & 0xFFFF);
        std::size_t n =
            std::min({static_cast<std::size_t>(recordSize), bytes.size() - offset, room});
        std::vector<std::uint8_t> chunk(bytes.begin() + offset, bytes.begin() + offset + n);
        text += hexRecordLine(0, static_cast<std::uint16_t>(address), chunk) + lineEnd;
        offset += n;
    }
    return text + hexRecordLine(1, 0, {}) + lineEnd;
}

std::vector<std::uint8_t> patternBytes(std::size_t count, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(count);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

std::string fixturePath(const std::string& name) {
    return std::string(PELLION_FIXTURES_DIR) + "/" + name;
}

namespace {

std::string makeTempDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pellion-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

}  // namespace

TempFile::TempFile(const std::string& name, const std::string& content)
    : directory_(makeTempDirectory()), path_(directory_ + "/" + name) {
    std::ofstream out(path_, std::ios::binary);
    out << content;
}

TempFile::TempFile(const std::string& name, const std::vector<std::uint8_t>& content)
    : TempFile(name, std::string(content.begin(), content.end())) {}

TempFile::~TempFile() {
    std::error_code ec;
    std::filesystem::remove_all(directory_, ec);
}

std::vector<std::uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace pellion::test
