// What boot entry and exit add to a chip's time: N timed virtual chips programmed from the tick
// of their rows to the end of the run, once as chips that wait in their bootloader (nothing
// toggled, Go), once as chips that start in their application (the dtr-reset entry and exit).
// The difference per run is the added time per chip, since every port runs its sequence at
// once; it is set beside the sequences' own waits.
//
//   bench_boot_entry [--chips 8] [--kib 16] [--baud 115200] [--repeats 5]

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "engine/BootSequence.h"
#include "engine/MemoryRunHost.h"
#include "engine/OwnerLoop.h"
#include "engine/RunControl.h"
#include "serial/PortTable.h"
#include "sim/ChipHost.h"

namespace {

using namespace pellion;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Config {
    int chips = 8;
    int kib = 16;
    std::uint32_t baud = 115200;
    int repeats = 5;
};

// Milliseconds from the first tick to the end of the run; negative when a chip failed.
double timeSession(const Config& config, const std::string& imagePath, bool boot) {
    sim::ChipHost chips(sim::ChipHost::Threading::LoopPerChip);
    std::vector<std::string> devices;
    for (int i = 0; i < config.chips; ++i) {
        sim::ChipOptions options;
        options.timing.enabled = true;
        options.startInApplication = boot;
        options.serialNumber = std::uint32_t(i + 1);
        devices.push_back(chips.addChip(options).chip->devicePath());
    }
    OwnerLoop loop;
    DeviceCatalogue catalogue;
    PortTable table;
    std::vector<PortIdentity> ports;
    for (const auto& device : devices)
        ports.push_back({device, device});
    table.BuildPortTable(ports);
    MemoryRunHost host(devices);
    host.downloadFilePath = imagePath;
    host.verify = false;
    int succeeded = 0;
    Clock::time_point start;
    {
        RunControl control(loop, table, catalogue, host);
        if (boot) {
            BootSequences sequences;
            sequences.entry = ParseBootSequence("dtr-reset", BootRole::Entry).steps;
            sequences.exit = ParseBootSequence("dtr-reset", BootRole::Exit).steps;
            host.boot = sequences;
        }
        start = Clock::now();
        for (std::int32_t i = 0; i < table.slotCount(); ++i) {
            host.row(i).texts[ColumnBaud] = std::to_string(config.baud);
            host.row(i).ticked = true;
            control.OnPortCheckClick(i);
        }
        loop.runUntil(
            [&] {
                for (std::int32_t i = 0; i < table.slotCount(); ++i) {
                    if (table.slot(i).cycle.state != Ready)
                        return false;
                }
                return true;
            },
            20s);
        host.onRunEnded = [&] { loop.quit(); };
        control.StartRun();
        if (host.runsEnded == 0)
            loop.run();
        for (std::int32_t i = 0; i < table.slotCount(); ++i)
            succeeded += table.slot(i).result.outcome == SlotOutcome::Succeeded;
        control.ShutdownPorts();
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    table.FreePortTable();
    chips.stop();
    return succeeded == config.chips ? ms : -1;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    Config config;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (arg == "--chips" && value > 0)
            config.chips = value;
        else if (arg == "--kib" && value > 0)
            config.kib = value;
        else if (arg == "--baud" && value > 0)
            config.baud = std::uint32_t(value);
        else if (arg == "--repeats" && value > 0)
            config.repeats = value;
        else {
            std::fprintf(stderr,
                         "usage: bench_boot_entry [--chips 8] [--kib 16] "
                         "[--baud 115200] [--repeats 5]\n");
            return 2;
        }
    }
    const std::string imagePath = "/tmp/pellion-bench-boot-" + std::to_string(::getpid()) + ".bin";
    {
        std::vector<char> image(std::size_t(config.kib) * 1024);
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = char((i * 13 + 5) % 253);
        std::ofstream(imagePath, std::ios::binary)
            .write(image.data(), std::streamsize(image.size()));
    }
    std::vector<double> plain, boot;
    for (int r = 0; r < config.repeats; ++r) {
        plain.push_back(timeSession(config, imagePath, false));
        boot.push_back(timeSession(config, imagePath, true));
        if (plain.back() < 0 || boot.back() < 0) {
            std::fprintf(stderr, "a chip failed\n");
            std::remove(imagePath.c_str());
            return 1;
        }
    }
    std::remove(imagePath.c_str());
    const auto waits = BootSequenceDuration(ParseBootSequence("dtr-reset", BootRole::Entry).steps) +
                       BootSequenceDuration(ParseBootSequence("dtr-reset", BootRole::Exit).steps);
    const double added = median(boot) - median(plain);
    std::printf("%d chips, %d KiB at %u baud, median of %d sessions (tick to end of run):\n",
                config.chips, config.kib, config.baud, config.repeats);
    std::printf("  in their bootloader, nothing toggled, Go:  %8.1f ms\n", median(plain));
    std::printf("  in their application, dtr-reset entry/exit: %7.1f ms\n", median(boot));
    std::printf("  added per chip (all ports at once):        %8.1f ms (sequence waits %lld ms)\n",
                added, static_cast<long long>(waits.count()));
    return 0;
}
