// Programs S KiB into N virtual chips at B baud, the chips' timing model on, and compares the
// wall time of the run with the chips' own modelled busy time (the physical lower bound: wire
// both ways plus flash work). Also reports the host's CPU time per port, and what read-back
// verification adds per image against its own wire lower bound.
//
// The chips run in a separate pellion-sim process, so the CPU time measured here is the host's
// alone (owner thread and monitor threads).
//
// With an adapter latency (the USB adapter holds every answer for its timer) the wire bound is
// joined by a second one: every answer the protocol needs costs one latency. The turns the run
// took are counted from the chips' ACK and NACK answers against the protocol's minimum, so a
// turn of ours the protocol does not need shows.
//
//   bench_engine [--sim PATH] [--chips 1,8,32,64] [--latency-ms 0,1,16] [--kib 64]
//                [--baud 115200] [--block-size 200] [--no-verify]
//                [--shared-loop]   (all chips on one simulator thread)

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SimProcess.h"
#include "catalogue/DeviceCatalogue.h"
#include "engine/BootloaderCodec.h"
#include "engine/MemoryRunHost.h"
#include "engine/OwnerLoop.h"
#include "engine/RunControl.h"
#include "serial/PortTable.h"

namespace {

using namespace pellion;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Config {
    int chips = 1;
    int kib = 64;
    std::uint32_t baud = 115200;
    bool verify = false;
    bool loopPerChip = false;
    int latencyMs = 0;
    int blockBytes = kWriteBlockBytes;
};

struct Measure {
    bool ok = false;
    double wallSeconds = 0;
    double boundSeconds = 0;
    double cpuSecondsPerPort = 0;
    int succeeded = 0;
    double turns = 0;  // answers of the busiest chip during the run
};

// What a chip counted, from its summary.
struct ChipCounts {
    double busyMicros = -1;
    double answers = 0;  // ACK and NACK bytes: one per turn
};

double numberAfter(const std::string& json, const std::string& key) {
    const auto at = json.find(key);
    return at == std::string::npos ? 0 : std::strtod(json.c_str() + at + key.size(), nullptr);
}

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

// Every chip's modelled busy time and answers so far.
std::vector<ChipCounts> chipCounts(const bench::SimProcess& sim) {
    const auto& devices = sim.devices();
    for (std::size_t i = 0; i < devices.size(); ++i)
        std::remove(sim.summaryPath(i).c_str());
    sim.requestSummaries();
    std::vector<ChipCounts> busy(devices.size());
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
        bool all = true;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (busy[i].busyMicros >= 0)
                continue;
            const std::string json = readFile(sim.summaryPath(i));
            const auto at = json.find("\"busyMicros\":{\"total\":");
            if (at == std::string::npos || json.find("\"faults\"") == std::string::npos) {
                all = false;
                continue;
            }
            busy[i].busyMicros = std::strtod(json.c_str() + at + 22, nullptr);
            busy[i].answers = numberAfter(json, "\"acks\":") + numberAfter(json, "\"nacks\":");
        }
        if (all)
            break;
        std::this_thread::sleep_for(10ms);
    }
    return busy;
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

Measure runOnce(const std::string& simPath, const Config& config) {
    Measure measure;
    char dirTemplate[] = "/tmp/pellion-bench-XXXXXX";
    const std::string dir = ::mkdtemp(dirTemplate) ? dirTemplate : "/tmp";
    const std::string imagePath = dir + "/image.bin";
    {
        std::vector<std::uint8_t> image(std::size_t(config.kib) * 1024);
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = std::uint8_t((i * 13 + 5) % 253);
        std::ofstream(imagePath, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    }

    std::vector<std::string> simArgs = {"--latency-ms", std::to_string(config.latencyMs)};
    if (config.loopPerChip)
        simArgs.insert(simArgs.begin(), "--loop-per-chip");
    bench::SimProcess sim(simPath, config.chips, dir, simArgs);
    if (!sim.ok()) {
        std::fprintf(stderr, "cannot start %s\n", simPath.c_str());
        return measure;
    }
    OwnerLoop loop;
    DeviceCatalogue catalogue;
    PortTable table;
    std::vector<PortIdentity> ports;
    for (const auto& device : sim.devices())
        ports.push_back({device, device});
    table.BuildPortTable(ports);
    MemoryRunHost host(sim.devices());
    host.downloadFilePath = imagePath;
    host.verify = config.verify;
    host.writePlan = {config.blockBytes, true};
    {
        RunControl control(loop, table, catalogue, host);
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

        const auto busyBefore = chipCounts(sim);
        const double cpuBefore = cpuSeconds();
        const auto start = Clock::now();
        // Driven by run()/quit(): the loop sleeps until work, a timer or the end arrives.
        host.onRunEnded = [&] { loop.quit(); };
        control.StartRun();
        if (host.runsEnded == 0)
            loop.run();
        const auto end = Clock::now();
        const double cpuAfter = cpuSeconds();
        const auto busyAfter = chipCounts(sim);
        control.ShutdownPorts();

        double bound = 0;
        for (std::size_t i = 0; i < busyAfter.size(); ++i) {
            bound = std::max(bound, (busyAfter[i].busyMicros - busyBefore[i].busyMicros) / 1e6);
            measure.turns = std::max(measure.turns, busyAfter[i].answers - busyBefore[i].answers);
        }
        for (std::int32_t i = 0; i < table.slotCount(); ++i)
            measure.succeeded += table.slot(i).result.outcome == SlotOutcome::Succeeded;
        measure.wallSeconds = std::chrono::duration<double>(end - start).count();
        measure.boundSeconds = bound;
        measure.cpuSecondsPerPort = (cpuAfter - cpuBefore) / config.chips;
        measure.ok = measure.succeeded == config.chips;
    }
    table.FreePortTable();
    std::remove(imagePath.c_str());
    return measure;
}

std::vector<int> parseList(const std::string& text) {
    std::vector<int> values;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        values.push_back(std::atoi(item.c_str()));
    return values;
}

// Answers a run without read-back needs at the least: the option bytes (3), the erase (2),
// three per block, Go (2).
double protocolTurns(int kib, int blockBytes) {
    const std::vector<std::uint8_t> image(std::size_t(kib) * 1024);
    const std::uint32_t end = kFlashBase + std::uint32_t(image.size()) - 1;
    int blocks = 0;
    for (std::uint32_t at = kFlashBase; at <= end; ++blocks)
        at += std::uint32_t(
            NextWriteBlockLength(std::span(image).subspan(at - kFlashBase), at, end, blockBytes));
    return 3 + 2 + 3.0 * blocks + 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string simPath = executableDir() + "/../sim/pellion-sim";
    std::vector<int> chipCounts = {1, 8, 32, 64};
    std::vector<int> latencies = {0};
    int kib = 64;
    int blockBytes = kWriteBlockBytes;
    std::uint32_t baud = 115200;
    bool withVerify = true;
    bool loopPerChip = true;  // each chip on its own simulator thread, as chips are independent
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--sim")
            simPath = value, ++i;
        else if (arg == "--chips")
            chipCounts = parseList(value), ++i;
        else if (arg == "--latency-ms")
            latencies = parseList(value), ++i;
        else if (arg == "--kib")
            kib = std::atoi(value), ++i;
        else if (arg == "--block-size")
            blockBytes = std::atoi(value), ++i;
        else if (arg == "--baud")
            baud = std::uint32_t(std::atoi(value)), ++i;
        else if (arg == "--no-verify")
            withVerify = false;
        else if (arg == "--shared-loop")
            loopPerChip = false;
        else {
            std::fprintf(stderr,
                         "usage: bench_engine [--sim PATH] [--chips 1,8,32,64] [--latency-ms "
                         "0,1,16] [--kib 64] [--block-size 200] [--baud 115200] [--no-verify] "
                         "[--shared-loop]\n");
            return 2;
        }
    }
    if (!IsValidWriteBlockSize(blockBytes)) {
        std::fprintf(stderr, "--block-size: a multiple of 4 up to 256\n");
        return 2;
    }

    std::printf(
        "Programming %d KiB into N timed virtual chips at %u baud, %d-byte blocks (targets: "
        "efficiency >= 0.95, host CPU <= 2%% of a core per port)\n"
        "bound: the chips' wire and flash time; with latency also one adapter latency per "
        "answer the protocol needs (%.0f)\n\n",
        kib, baud, blockBytes, protocolTurns(kib, blockBytes));
    std::printf("%8s %6s %9s %9s %9s %11s %9s %11s %12s %4s\n", "latency", "chips", "wall s",
                "wire s", "bound s", "efficiency", "turns", "min turns", "CPU % / port", "ok");
    bool allOk = true;
    double writeWall = 0;
    const double minimumTurns = protocolTurns(kib, blockBytes);
    for (int latency : latencies) {
        for (int chips : chipCounts) {
            const Measure m =
                runOnce(simPath, {chips, kib, baud, false, loopPerChip, latency, blockBytes});
            const double bound = m.boundSeconds + minimumTurns * latency / 1000.0;
            const double efficiency = m.wallSeconds > 0 ? bound / m.wallSeconds : 0;
            const double cpuPercent =
                m.wallSeconds > 0 ? 100 * m.cpuSecondsPerPort / m.wallSeconds : 0;
            std::printf("%6d ms %6d %9.3f %9.3f %9.3f %11.3f %9.0f %11.0f %12.3f %4s\n", latency,
                        chips, m.wallSeconds, m.boundSeconds, bound, efficiency, m.turns,
                        minimumTurns, cpuPercent, m.ok ? "yes" : "NO");
            std::fflush(stdout);
            allOk = allOk && m.ok;
            if (chips == 1 && latency == 0)
                writeWall = m.wallSeconds;
        }
    }

    if (withVerify) {
        if (writeWall == 0)
            writeWall =
                runOnce(simPath, {1, kib, baud, false, loopPerChip, 0, blockBytes}).wallSeconds;
        const Measure verified = runOnce(simPath, {1, kib, baud, true, loopPerChip, 0, blockBytes});
        const double added = verified.wallSeconds - writeWall;
        // Per 256-byte read: 11 EE, the address frame and the count frame out (9 bytes); three
        // ACKs and the data back.
        const double reads = std::ceil(kib * 1024 / 256.0);
        const double readBound = reads * (9 + 3 + 256) * 11.0 / baud;
        std::printf("\nRead-back verification of %d KiB at %u baud, one chip:\n", kib, baud);
        std::printf("  run without verification  %8.3f s\n", writeWall);
        std::printf("  run with verification     %8.3f s  (%s; chips' bound %.3f s)\n",
                    verified.wallSeconds, verified.ok ? "verified" : "FAILED",
                    verified.boundSeconds);
        std::printf("  added by verification     %8.3f s  = %.0f%% of the run without it\n", added,
                    100 * added / writeWall);
        std::printf(
            "  read-back wire bound      %8.3f s  -> verification runs at %.3f of its "
            "bound\n",
            readBound, readBound / added);
        allOk = allOk && verified.ok;
    }
    return allOk ? 0 : 1;
}
