#include "support/TempDirectory.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace pellion::test {

TempDirectory::TempDirectory(const std::string& parent) {
    const std::filesystem::path base =
        parent.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(parent);
    path_ = (base / "pellion-test-XXXXXX").string();
    if (!mkdtemp(path_.data()))
        throw std::runtime_error("mkdtemp failed");
}

TempDirectory::~TempDirectory() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace pellion::test
