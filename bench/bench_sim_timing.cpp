// Checks the virtual chip's timing model against the wall clock: 1 KiB moved at 9600 baud should
// take about 1.2 s (11 bits per byte), and the chip's modelled busy time should match the wall
// time of a host that answers at once. Also shows what an adapter latency timer costs.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "sim/ChipHost.h"

namespace {

using namespace pellion::sim;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kFlash = 0x08000000;

class Line {
  public:
    Line(const std::string& path, speed_t speed) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD | PARENB;
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        tcsetattr(fd_, TCSANOW, &tio);
    }
    ~Line() { ::close(fd_); }
    bool ok() const { return fd_ >= 0; }

    void write(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                return;
            done += std::size_t(n);
        }
    }
    Bytes read(std::size_t count) {
        Bytes out;
        std::uint8_t buffer[512];
        while (out.size() < count) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0)
                break;
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
            if (n <= 0)
                break;
            out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }
    bool expectAck(const Bytes& bytes) {
        write(bytes);
        const Bytes answer = read(1);
        return answer.size() == 1 && answer[0] == 0x79;
    }

  private:
    int fd_ = -1;
};

Bytes commandFrame(std::uint8_t code) {
    return {code, std::uint8_t(code ^ 0xFF)};
}

Bytes addressFrame(std::uint32_t a) {
    Bytes f = {std::uint8_t(a >> 24), std::uint8_t(a >> 16), std::uint8_t(a >> 8), std::uint8_t(a)};
    f.push_back(f[0] ^ f[1] ^ f[2] ^ f[3]);
    return f;
}

// A write's data frame: `n` bytes counting up from `at` (modulo 256), after the count byte.
Bytes dataFrame(std::size_t at, std::size_t n) {
    Bytes frame = {std::uint8_t(n - 1)};
    std::uint8_t checksum = frame[0];
    for (std::size_t i = 0; i < n; ++i) {
        frame.push_back(std::uint8_t(at + i));
        checksum ^= frame.back();
    }
    frame.push_back(checksum);
    return frame;
}

struct Measurement {
    double wallSeconds = 0;
    double modelSeconds = 0;
    bool ok = false;
    std::uint64_t deliveries = 0;
    double lagSeconds = 0;  // the simulator's own lateness in writing answers
};

// Reads or writes `bytes` in blocks of `block` through one chip; the chip is synchronised first
// and its busy time counted from there.
Measurement transfer(bool write, std::size_t bytes, std::size_t block, std::uint32_t baud,
                     speed_t speed, std::chrono::microseconds latency) {
    ChipOptions options;
    options.timing.enabled = true;
    options.timing.baud = baud;
    options.timing.adapterLatency = latency;
    options.initialFlash.assign(write ? 0 : bytes, 0x5A);
    ChipHost host;
    auto added = host.addChip(options);
    Measurement m;
    if (!added.chip)
        return m;
    Line line(added.chip->devicePath(), speed);
    if (!line.ok() || !line.expectAck({0x7F}))
        return m;
    const auto busyBefore = added.chip->busyTime();
    const auto start = Clock::now();
    bool ok = true;
    for (std::size_t at = 0; at < bytes && ok; at += block) {
        const std::uint32_t address = kFlash + std::uint32_t(at);
        const std::size_t n = std::min(block, bytes - at);
        if (write) {
            ok = line.expectAck(commandFrame(0x31)) && line.expectAck(addressFrame(address)) &&
                 line.expectAck(dataFrame(at, n));
        } else {
            ok = line.expectAck(commandFrame(0x11)) && line.expectAck(addressFrame(address)) &&
                 line.expectAck({std::uint8_t(n - 1), std::uint8_t((n - 1) ^ 0xFF)}) &&
                 line.read(n).size() == n;
        }
    }
    m.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    m.modelSeconds = std::chrono::duration<double>(added.chip->busyTime() - busyBefore).count();
    m.ok = ok;
    const auto stats = added.chip->stats();
    m.deliveries = stats.deliveries;
    m.lagSeconds = std::chrono::duration<double>(stats.deliveryLag).count();
    return m;
}

bool report(const char* what, const Measurement& m, double tolerance) {
    const double ratio = m.modelSeconds > 0 ? m.wallSeconds / m.modelSeconds : 0;
    const bool within = m.ok && std::fabs(ratio - 1.0) <= tolerance;
    std::printf("%-44s wall %7.3f s  model %7.3f s  wall/model %.3f  %s\n", what, m.wallSeconds,
                m.modelSeconds, ratio,
                !m.ok    ? "TRANSFER FAILED"
                : within ? "ok"
                         : "OUTSIDE TOLERANCE");
    std::printf("%-44s answers written %llu times, %.1f us late on average\n", "",
                static_cast<unsigned long long>(m.deliveries),
                m.deliveries ? m.lagSeconds * 1e6 / double(m.deliveries) : 0.0);
    return within;
}

}  // namespace

// Many chips at once on the shared loop, one plain host thread per chip writing `bytes` in
// 200-byte blocks: the slowest chip's wall time against its model, and the simulator's CPU.
void parallelChips(int count, std::size_t bytes) {
    ChipHost host;
    std::vector<VirtualChip*> chips;
    for (int i = 0; i < count; ++i) {
        ChipOptions options;
        options.timing.enabled = true;
        options.timing.baud = 115200;
        auto added = host.addChip(options);
        if (!added.chip) {
            std::printf("cannot create chip %d: %s\n", i, added.error.c_str());
            return;
        }
        chips.push_back(added.chip);
    }
    std::vector<std::thread> hosts;
    std::atomic<int> failures{0};
    const auto cpuBefore = host.serveCpuTime();
    const auto start = Clock::now();
    for (VirtualChip* chip : chips) {
        hosts.emplace_back([chip, bytes, &failures] {
            Line line(chip->devicePath(), B115200);
            bool ok = line.expectAck({0x7F});
            for (std::size_t at = 0; at < bytes && ok; at += 200) {
                const std::size_t n = std::min<std::size_t>(200, bytes - at);
                ok = line.expectAck(commandFrame(0x31)) &&
                     line.expectAck(addressFrame(kFlash + std::uint32_t(at))) &&
                     line.expectAck(dataFrame(at, n));
            }
            if (!ok)
                ++failures;
        });
    }
    for (auto& t : hosts)
        t.join();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    double slowestModel = 0;
    for (VirtualChip* chip : chips)
        slowestModel =
            std::max(slowestModel, std::chrono::duration<double>(chip->busyTime()).count());
    const double cpu = std::chrono::duration<double>(host.serveCpuTime() - cpuBefore).count();
    std::printf(
        "%2d chips x %zu KiB at 115200 in parallel: wall %.3f s, slowest model %.3f s, "
        "wall/model %.3f, simulator CPU %.2f%% of a core per chip%s\n",
        count, bytes / 1024, wall, slowestModel, wall / slowestModel, 100.0 * cpu / wall / count,
        failures ? "  (TRANSFERS FAILED)" : "");
}

int main() {
    const double payloadOnly = 1024.0 * ChipTiming::kBitsPerByte / 9600.0;
    std::printf("1 KiB of payload alone at 9600 baud, 11 bits per byte: %.3f s\n", payloadOnly);
    bool ok = true;
    const Measurement read9600 = transfer(false, 1024, 256, 9600, B9600, {});
    ok &= report("1 KiB read (4 x 256) at 9600 baud", read9600, 0.05);
    ok &= report("1 KiB write (4 x 256) at 9600 baud", transfer(true, 1024, 256, 9600, B9600, {}),
                 0.05);
    ok &= report("64 KiB write (200-byte blocks) at 115200",
                 transfer(true, 65536, 200, 115200, B115200, {}), 0.05);
    const Measurement latency =
        transfer(true, 65536, 200, 115200, B115200, std::chrono::milliseconds(16));
    std::printf(
        "64 KiB write at 115200 behind a 16 ms adapter latency timer: wall %.3f s "
        "(model without latency %.3f s, %.1fx)\n",
        latency.wallSeconds, latency.modelSeconds,
        latency.modelSeconds > 0 ? latency.wallSeconds / latency.modelSeconds : 0);
    parallelChips(8, 16 * 1024);
    parallelChips(32, 16 * 1024);
    const bool about = read9600.ok && read9600.wallSeconds > 1.1 && read9600.wallSeconds < 1.35;
    std::printf("1 KiB at 9600 baud takes about 1.2 s: %s\n", about ? "yes" : "NO");
    return ok && about ? 0 : 1;
}
