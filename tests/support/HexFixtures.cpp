#include "support/HexFixtures.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pellion::test {

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

TempFile::TempFile(const std::string& name, const std::string& content)
    : path_(directory_.file(name)) {
    std::ofstream out(path_, std::ios::binary);
    out << content;
}

TempFile::TempFile(const std::string& name, const std::vector<std::uint8_t>& content)
    : TempFile(name, std::string(content.begin(), content.end())) {}

std::vector<std::uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace pellion::test
