// Production mode's throughput: N sockets of timed virtual chips, each chip swapped for a fresh
// one S ms after its program starts (an operator's hand), a station programming and verifying
// C chips in all. Compares chips per hour with the bound of the chips' own modelled busy time
// (wire both ways, flash work, start-up) plus the swap time between two chips of a socket.
//
// The chips run in a separate pellion-sim process, as in bench_engine.
//
//   bench_station [--sim PATH] [--sockets 8] [--chips 24] [--kib 64] [--baud 115200]
//                 [--swap-ms 2000]

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "SimProcess.h"
#include "catalogue/DeviceCatalogue.h"
#include "engine/MemoryRunHost.h"
#include "engine/OwnerLoop.h"
#include "engine/RunControl.h"
#include "engine/Station.h"
#include "serial/PortTable.h"

namespace {

using namespace pellion;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Config {
    int sockets = 8;
    int chips = 24;
    int kib = 64;
    std::uint32_t baud = 115200;
    int swapMs = 2000;
};

std::string executableDir() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = 0;
    std::string text(path);
    return text.substr(0, text.rfind('/'));
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

double numberAfter(const std::string& json, const std::string& key) {
    const auto at = json.find(key);
    return at == std::string::npos ? -1 : std::strtod(json.c_str() + at + key.size(), nullptr);
}

// Per socket, the busy seconds of every chip that was programmed, from the summaries the
// simulator wrote on exit (chipK.json, chipK-N.json).
std::map<int, std::vector<double>> programmedBusy(const std::string& dir) {
    std::map<int, std::vector<double>> busy;
    DIR* listing = ::opendir(dir.c_str());
    if (!listing)
        return busy;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.rfind("chip", 0) != 0 || name.size() < 5 ||
            name.compare(name.size() - 5, 5, ".json") != 0) {
            continue;
        }
        const std::string json = readFile(dir + "/" + name);
        if (numberAfter(json, "\"bytesProgrammed\":") <= 0)
            continue;
        const int socket = std::atoi(name.c_str() + 4);
        busy[socket].push_back(numberAfter(json, "\"busyMicros\":{\"total\":") / 1e6);
    }
    ::closedir(listing);
    return busy;
}

int run(const std::string& simPath, const Config& config) {
    char dirTemplate[] = "/tmp/pellion-bench-station-XXXXXX";
    const std::string dir = ::mkdtemp(dirTemplate) ? dirTemplate : "/tmp";
    auto image = std::make_shared<FirmwareImage>();
    image->startAddress = 0x08000000;
    image->imageBytes.resize(std::size_t(config.kib) * 1024);
    for (std::size_t i = 0; i < image->imageBytes.size(); ++i)
        image->imageBytes[i] = std::uint8_t((i * 13 + 5) % 253);
    image->imageSize = std::uint32_t(image->imageBytes.size());

    bench::SimProcess sim(simPath, config.sockets, dir,
                          {"--loop-per-chip", "--replace-after-go", std::to_string(config.swapMs)});
    if (!sim.ok()) {
        std::fprintf(stderr, "cannot start %s\n", simPath.c_str());
        return 1;
    }
    OwnerLoop loop;
    DeviceCatalogue catalogue;
    PortTable table;
    std::vector<PortIdentity> ports;
    for (const auto& device : sim.devices())
        ports.push_back({device, device});
    table.BuildPortTable(ports);
    MemoryRunHost host(sim.devices());
    double wall = 0;
    std::uint64_t succeeded = 0;
    std::uint64_t failed = 0;
    {
        RunControl control(loop, table, catalogue, host);
        Station station(loop, control);
        std::vector<std::int32_t> slots;
        for (std::int32_t i = 0; i < table.slotCount(); ++i) {
            host.row(i).texts[ColumnBaud] = std::to_string(config.baud);
            host.row(i).ticked = true;
            if (control.OpenSlot(i))
                slots.push_back(i);
        }
        SlotInputs inputs;
        inputs.baud = config.baud;
        inputs.verify = true;
        inputs.image = image;
        station.StopAfter(std::uint64_t(config.chips));
        station.onStopped = [&] { loop.quit(); };
        const auto start = Clock::now();
        station.Start(slots, inputs);
        loop.run();
        wall = std::chrono::duration<double>(Clock::now() - start).count();
        succeeded = station.succeeded();
        failed = station.failed();
        control.ShutdownPorts();
    }
    table.FreePortTable();
    sim.stop();

    // A socket cannot finish its chips before their busy time and the swaps between them.
    double bound = 0;
    int counted = 0;
    for (const auto& [socket, busy] : programmedBusy(dir)) {
        double total = 0;
        for (double seconds : busy)
            total += seconds;
        total += double(busy.size() - 1) * config.swapMs / 1000.0;
        bound = std::max(bound, total);
        counted += int(busy.size());
    }
    const double perHour = wall > 0 ? 3600.0 * double(succeeded) / wall : 0;
    const double boundPerHour = bound > 0 ? 3600.0 * double(counted) / bound : 0;
    std::printf("%8d %8d %9.1f %10.1f %13.0f %13.0f %11.3f %7s\n", config.sockets, int(succeeded),
                wall, bound, perHour, boundPerHour, boundPerHour > 0 ? perHour / boundPerHour : 0,
                failed == 0 ? "yes" : "NO");
    return failed == 0 && counted == int(succeeded) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string simPath = executableDir() + "/../sim/pellion-sim";
    Config config;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--sim")
            simPath = value, ++i;
        else if (arg == "--sockets")
            config.sockets = std::atoi(value), ++i;
        else if (arg == "--chips")
            config.chips = std::atoi(value), ++i;
        else if (arg == "--kib")
            config.kib = std::atoi(value), ++i;
        else if (arg == "--baud")
            config.baud = std::uint32_t(std::atoi(value)), ++i;
        else if (arg == "--swap-ms")
            config.swapMs = std::atoi(value), ++i;
        else {
            std::fprintf(stderr,
                         "usage: bench_station [--sim PATH] [--sockets 8] [--chips 24] "
                         "[--kib 64] [--baud 115200] [--swap-ms 2000]\n");
            return 2;
        }
    }
    std::printf(
        "Production mode: %d KiB with read-back at %u baud, each chip swapped %d ms after "
        "its program starts\n\n",
        config.kib, config.baud, config.swapMs);
    std::printf("%8s %8s %9s %10s %13s %13s %11s %7s\n", "sockets", "chips", "wall s", "bound s",
                "chips/hour", "bound/hour", "efficiency", "ok");
    return run(simPath, config);
}
