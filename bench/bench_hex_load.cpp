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

namespace {

using Clock = std::chrono::steady_clock;

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
    return line + "\r\n";
}

// As a linker writes it: 16-byte records, a type-04 record every 64 KiB, CR LF.
std::string hexTextOf(std::uint32_t start, const std::vector<std::uint8_t>& bytes) {
    std::string text;
    text.reserve(bytes.size() * 45 / 16 + 1024);
    for (std::size_t offset = 0; offset < bytes.size(); offset += 16) {
        std::uint32_t address = start + static_cast<std::uint32_t>(offset);
        if (offset == 0 || (address & 0xFFFF) == 0) {
            std::uint8_t base[2] = {static_cast<std::uint8_t>(address >> 24),
                                    static_cast<std::uint8_t>(address >> 16)};
            text += record(4, 0, base, 2);
        }
        int n = static_cast<int>(std::min<std::size_t>(16, bytes.size() - offset));
        text += record(0, static_cast<std::uint16_t>(address), bytes.data() + offset, n);
    }
    return text + ":00000001FF\r\n";
}

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
    const std::string text = hexTextOf(0x08000000, bytes);
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
