// Programs and verifies S KiB through the RAM helper on one virtual chip with the timing model
// on (wire at 11 bits a byte, page erase, half-word programming), at 115200 baud and after the
// helper's switch to 460800 and 921600, and compares the wall time with the ROM protocol's own
// lower bound for writing and read-back verifying the same image at 115200.
//
// The time counted runs from the sync byte to the CRC answer: loading the helper with Write
// Memory and Go, the speed switch, erasing, writing and the CRC of the range.
//
//   bench_helper [--kib 64]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/BootloaderCodec.h"
#include "engine/HelperImage.h"
#include "image/Crc32.h"
#include "sim/ChipHost.h"
#include "support/HelperLink.h"

namespace {

using namespace pellion;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kLineBaud = 115200;

double byteSeconds(std::uint32_t baud) {
    return 11.0 / baud;
}

// What the ROM protocol cannot beat at 115200: 200-byte Write Memory turns (command, address,
// data and three ACKs on the wire, then the programming), page erases, and 256-byte Read Memory
// turns that bring the image back.
double romBoundSeconds(std::uint32_t bytes, const sim::ChipTiming& timing, int pages) {
    const double perByte = byteSeconds(kLineBaud);
    const std::uint32_t writes = (bytes + kWriteBlockBytes - 1) / kWriteBlockBytes;
    const double writeWire = writes * (2 + 1 + 5 + 1 + (kWriteBlockBytes + 2) + 1) * perByte;
    const double programming =
        bytes / 2 * std::chrono::duration<double>(timing.halfWordProgram).count();
    const double erasing = pages * std::chrono::duration<double>(timing.pageErase).count();
    const std::uint32_t reads = (bytes + kMaxReadBytes - 1) / kMaxReadBytes;
    const double readWire = reads * (2 + 1 + 5 + 1 + 2 + 1) * perByte + bytes * perByte;
    return writeWire + programming + erasing + readWire;
}

struct Result {
    bool ok = false;
    std::string error;
    double wallSeconds = 0;
    double wireSeconds = 0;  // host to chip, the busier direction
};

Result runOnce(const std::vector<std::uint8_t>& image, std::uint32_t baud) {
    Result result;
    sim::ChipHost host;
    sim::ChipOptions options;
    options.timing.enabled = true;
    const auto added = host.addChip(options);
    if (!added.chip) {
        result.error = added.error;
        return result;
    }
    sim::VirtualChip& chip = *added.chip;
    test::RawChipLine line(chip.devicePath(), kLineBaud);
    test::HelperLink link(line, kLineBaud);
    const auto start = Clock::now();
    result.error = link.load();
    if (result.error.empty() && baud != kLineBaud &&
        link.switchSpeed(baud) != test::HelperLink::SpeedResult::Switched)
        result.error = "no switch to " + std::to_string(baud);
    const auto size = std::uint32_t(image.size());
    if (result.error.empty()) {
        const auto erased = link.erase(chip.geometry(), kFlashBase, size);
        if (!erased || erased->status != HelperStatus::Ok)
            result.error = "erase failed";
    }
    if (result.error.empty() && !link.write(kFlashBase, image).ok)
        result.error = "write failed";
    if (result.error.empty()) {
        const auto crc = link.crc(kFlashBase, size);
        if (!crc || crc->value != crc32(image.data(), image.size()))
            result.error = "CRC differs";
    }
    result.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.wireSeconds = std::chrono::duration<double>(chip.stats().busy.wireReceive).count();
    result.ok = result.error.empty() && chip.readFlash(kFlashBase, image.size()) == image;
    if (result.error.empty() && !result.ok)
        result.error = "flash differs";
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    int kib = 64;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--kib") == 0)
            kib = std::atoi(argv[i + 1]);
    }
    if (!HelperAvailable()) {
        std::printf("bench_helper: built without the cross compiler, no helper to measure\n");
        return 1;
    }
    std::vector<std::uint8_t> image(std::size_t(kib) * 1024);
    std::uint32_t seed = 1;
    for (auto& b : image) {
        seed = seed * 1103515245u + 12345u;
        b = std::uint8_t(seed >> 16);
    }
    const sim::ChipTiming timing;
    const int pages = int((image.size() + 2047) / 2048);  // the 1RCB's 2 KiB pages
    const double rom = romBoundSeconds(std::uint32_t(image.size()), timing, pages);
    std::printf("%d KiB, ROM protocol bound at %u baud (write + read-back verify): %.2f s\n", kib,
                kLineBaud, rom);
    std::printf(
        "| line baud | wall s | wire to the chip s | of the ROM bound |\n|---|---|---|---|\n");
    int failures = 0;
    for (std::uint32_t baud : {115200u, 460800u, 921600u}) {
        const Result r = runOnce(image, baud);
        if (!r.ok) {
            std::printf("| %u | failed: %s | | |\n", baud, r.error.c_str());
            ++failures;
            continue;
        }
        std::printf("| %u | %.2f | %.2f | %.0f %% |\n", baud, r.wallSeconds, r.wireSeconds,
                    100.0 * r.wallSeconds / rom);
    }
    return failures == 0 ? 0 : 1;
}
