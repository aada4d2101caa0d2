// Loading a 3 MiB image from HEX text: the conversion alone, and the whole load of a file
// as a run does it. Prints MB of HEX text per second (target: at least 100).

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image/DownloadFile.h"
#include "image/HexImage.h"
#include "tests/support/HexText.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class Work>
double bestSeconds(int rounds, Work work) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        auto begin = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - begin).count());
    }
    return best;
}

}  // namespace

int main() {
    const std::uint32_t size = pellion::kMaxImageSpan;  // 3 MiB, the largest flash
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = 12345;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(state >> 16);
    }
    // As a linker writes it: 16-byte records, a type-04 record every 64 KiB, CR LF.
    const std::string text = pellion::test::makeHexText(0x08000000, bytes, 16, "\r\n");
    const double megabytes = text.size() / 1e6;

    bool correct = true;
    double convert = bestSeconds(10, [&] {
        auto image = pellion::hexToImage(text);
        correct = correct && image && image.value().imageBytes == bytes;
    });

    auto path = std::filesystem::temp_directory_path() / "pellion-bench-hex-load.hex";
    std::ofstream(path, std::ios::binary) << text;
    double load = bestSeconds(10, [&] {
        auto image = pellion::loadDownloadFile(path.string(), "8000000");
        correct = correct && image && image.value().imageSize == size;
    });
    std::filesystem::remove(path);

    std::printf("image %u bytes, HEX text %.2f MB (16-byte records, CR LF)\n", size, megabytes);
    std::printf("hexToImage:        %7.2f ms  %8.1f MB/s of HEX text\n", convert * 1e3,
                megabytes / convert);
    std::printf("loadDownloadFile:  %7.2f ms  %8.1f MB/s of HEX text (file read included)\n",
                load * 1e3, megabytes / load);
    std::printf("target: at least 100 MB/s; result %s\n", correct ? "correct" : "WRONG");
    return correct ? 0 : 1;
}
