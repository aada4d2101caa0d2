#include "support/TempDirectory.h"

#include <stdlib.h>

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace pellion::test {

TempDirectory::TempDirectory(const std::string& parent) {
    const std::filesystem::path base =
        parent.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(parent);
#ifdef _WIN32
    // No mkdtemp: a random name, taken only by the one who creates it.
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("pellion-test-" + std::to_string(seed()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate.string();
            return;
        }
    }
    throw std::runtime_error("no temporary directory");
#else
    path_ = (base / "pellion-test-XXXXXX").string();
    if (!mkdtemp(path_.data()))
        throw std::runtime_error("mkdtemp failed");
#endif
}

TempDirectory::~TempDirectory() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace pellion::test
