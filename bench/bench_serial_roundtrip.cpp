// Round trip over pseudo-terminals: the owner thread queues a two-byte frame, a peer thread
// answers one byte as soon as the frame is in, and the time is taken when the answer's
// delivery runs on the owner thread. Figures for one port alone and for 32 ports at once,
// each port sending its next frame at once (saturated) or 2 ms after the answer (paced, as a
// real line's transfer times space the frames), beside the same exchange on bare
// pseudo-terminals without the port object.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "engine/OwnerLoop.h"
#include "serial/CSerialPort.h"
#include "serial/SerialOwner.h"
#include "serial/posix/PseudoTerminal.h"

namespace {

using pellion::CSerialPort;
using pellion::SteadyClock;
using namespace std::chrono_literals;

constexpr std::uint8_t kFrame[] = {0x11, 0xEE};
constexpr std::uint8_t kAck = 0x79;
constexpr auto kPacing = 2ms;

double microsecondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::micro>(SteadyClock::now() - start).count();
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(index, v.size() - 1)];
}

void printFigures(const char* what, std::size_t ports, const std::vector<double>& samples) {
    std::printf(
        "%-20s %2zu port(s): %6zu round trips  median %7.1f us  p99 %7.1f us  max %8.1f us\n", what,
        ports, samples.size(), percentile(samples, 0.5), percentile(samples, 0.99),
        percentile(samples, 1.0));
}

struct PtySet {
    std::vector<pellion::posix::PseudoTerminal> ptys;
    std::vector<int> masters;

    bool create(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            auto pty = pellion::posix::openPseudoTerminal();
            if (!pty.ok()) {
                std::fprintf(stderr, "pseudo-terminal: %s\n", pty.error.c_str());
                return false;
            }
            masters.push_back(pty.masterFd);
            ptys.push_back(std::move(pty));
        }
        return true;
    }
    ~PtySet() {
        for (int fd : masters)
            ::close(fd);
    }
};

// Answers every complete frame on every master with one byte.
class Peer {
  public:
    explicit Peer(std::vector<int> masters) : masters_(std::move(masters)) {
        thread_ = std::thread([this] { run(); });
    }
    ~Peer() {
        stop_ = true;
        thread_.join();
    }

  private:
    void run() {
        std::vector<pollfd> fds;
        for (int fd : masters_)
            fds.push_back({fd, POLLIN, 0});
        std::vector<std::size_t> pending(masters_.size(), 0);
        while (!stop_) {
            if (::poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                std::uint8_t buf[64];
                const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
                if (n <= 0)
                    continue;
                pending[i] += static_cast<std::size_t>(n);
                while (pending[i] >= sizeof kFrame) {
                    pending[i] -= sizeof kFrame;
                    [[maybe_unused]] const auto w = ::write(fds[i].fd, &kAck, 1);
                }
            }
        }
    }

    std::vector<int> masters_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class BenchOwner : public pellion::SerialOwner {
  public:
    BenchOwner(std::size_t ports, int roundsPerPort, bool paced)
        : paced_(paced), sentAt_(ports), remaining_(ports, roundsPerPort) {}

    pellion::OwnerLoop& ownerLoop() override { return loop_; }

    void OnSerialData(CSerialPort& port, const std::uint8_t* rx) override {
        samplesUs.push_back(microsecondsSince(sentAt_[port.ComNumber()]));
        if (rx[0] != kAck)
            ++wrongAnswers;
        if (--remaining_[port.ComNumber()] == 0) {
            ++portsDone;
        } else if (paced_) {
            loop_.startTimer(kPacing, false, [this, &port] { send(port); });
        } else {
            send(port);
        }
    }
    void OnPortLost(CSerialPort&) override { ++lost; }
    void ShowSerialError(const std::string& caption, const pellion::OperatorText& text) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.words().c_str());
    }

    void send(CSerialPort& port) {
        sentAt_[port.ComNumber()] = SteadyClock::now();
        port.QueueWrite(kFrame, sizeof kFrame);
    }

    std::vector<double> samplesUs;
    std::size_t portsDone = 0;
    int wrongAnswers = 0;
    int lost = 0;

  private:
    pellion::OwnerLoop loop_;
    bool paced_;
    std::vector<SteadyClock::time_point> sentAt_;
    std::vector<int> remaining_;
};

// Teardown runs in the reverse of this order, and each step needs only what outlives it: the
// ports close (their monitor threads joined while the owner serves their last hand-overs)
// before the peer stops, the peer stops before the pseudo-terminals close, and the owner's
// loop, which the monitor threads hand deliveries to, goes after every port.
bool runPorts(std::size_t portCount, int roundsPerPort, bool paced) {
    PtySet set;
    if (!set.create(portCount))
        return false;
    BenchOwner owner(portCount, roundsPerPort, paced);
    std::vector<std::unique_ptr<CSerialPort>> ports;
    for (std::size_t i = 0; i < portCount; ++i) {
        auto port = std::make_unique<CSerialPort>();
        const auto& path = set.ptys[i].slavePath;
        if (!port->OpenPort(&owner, path, static_cast<std::uint32_t>(i), 115200, 0)) {
            std::fprintf(stderr, "cannot open %s\n", path.c_str());
            return false;
        }
        port->SetTimeouts(pellion::CommTimeouts::uniform(5));
        port->StartMonitor();
        ports.push_back(std::move(port));
    }
    owner.ownerLoop().runUntil(
        [&] {
            return std::all_of(ports.begin(), ports.end(),
                               [](const auto& p) { return p->threadAlive == 1; });
        },
        5s);
    bool finished = false;
    {
        Peer peer(set.masters);
        for (auto& port : ports)
            owner.send(*port);
        finished = owner.ownerLoop().runUntil([&] { return owner.portsDone == portCount; }, 120s);
        for (auto& port : ports)
            port->StopAndClose();
    }
    if (!finished || owner.wrongAnswers != 0 || owner.lost != 0) {
        std::printf("%zu port(s): did not finish cleanly (%zu samples, %d wrong, %d lost)\n",
                    portCount, owner.samplesUs.size(), owner.wrongAnswers, owner.lost);
        return false;
    }
    printFigures(paced ? "port object, paced" : "port object, at once", portCount, owner.samplesUs);
    return true;
}

// The same exchange straight on the slave descriptors, one thread per port, without the port
// object, its monitor thread or the owner loop: what the pseudo-terminals and the scheduler
// cost by themselves.
bool runBare(std::size_t portCount, int roundsPerPort) {
    PtySet set;
    if (!set.create(portCount))
        return false;
    std::vector<int> slaves;
    for (const auto& pty : set.ptys) {
        const int fd = ::open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return false;
        slaves.push_back(fd);
    }
    std::vector<std::vector<double>> perPort(portCount);
    {
        Peer peer(set.masters);
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < portCount; ++i) {
            threads.emplace_back([&, i] {
                for (int r = 0; r < roundsPerPort; ++r) {
                    const auto start = SteadyClock::now();
                    if (::write(slaves[i], kFrame, sizeof kFrame) != sizeof kFrame)
                        return;
                    pollfd p{slaves[i], POLLIN, 0};
                    if (::poll(&p, 1, 1000) != 1)
                        return;
                    std::uint8_t answer = 0;
                    if (::read(slaves[i], &answer, 1) != 1)
                        return;
                    perPort[i].push_back(microsecondsSince(start));
                }
            });
        }
        for (auto& t : threads)
            t.join();
    }
    for (int fd : slaves)
        ::close(fd);
    std::vector<double> samples;
    for (const auto& v : perPort)
        samples.insert(samples.end(), v.begin(), v.end());
    if (samples.size() != portCount * static_cast<std::size_t>(roundsPerPort))
        return false;
    printFigures("bare pseudo-terminal", portCount, samples);
    return true;
}

}  // namespace

int main() {
    std::printf(
        "serial round trip: frame written, one-byte answer delivered on the owner thread\n");
    std::printf("targets for the port object: median < 200 us, p99 < 1000 us\n");
    bool ok = runBare(1, 5000);
    ok = runPorts(1, 5000, false) && ok;
    ok = runBare(32, 300) && ok;
    ok = runPorts(32, 300, false) && ok;
    ok = runPorts(32, 300, true) && ok;
    return ok ? 0 : 1;
}
