#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/HexText.h"
#include "support/TempDirectory.h"

namespace pellion::test {

// `count` bytes of a fixed, non-repeating-looking pattern.
std::vector<std::uint8_t> patternBytes(std::size_t count, std::uint32_t seed = 1);

// Path of a file in tests/fixtures.
std::string fixturePath(const std::string& name);

// A file in a fresh temporary directory, removed with it at the end of the scope.
class TempFile {
  public:
    // `name` is the file's name within the directory (its suffix decides HEX or not).
    TempFile(const std::string& name, const std::string& content);
    TempFile(const std::string& name, const std::vector<std::uint8_t>& content);
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& directory() const { return directory_.path(); }

  private:
    TempDirectory directory_;
    std::string path_;
};

std::vector<std::uint8_t> readFileBytes(const std::string& path);

}  // namespace pellion::test
