// Round trip over pseudo-terminals: the owner thread queues a two-byte frame, a peer thread
// answers one byte as soon as the frame is in, and the time is taken when the answer's
// delivery runs on the owner thread. Figures for one port alone and for 32 ports at once.

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
    BenchOwner(std::size_t ports, int roundsPerPort)
        : sentAt_(ports), remaining_(ports, roundsPerPort) {}

    pellion::OwnerLoop& ownerLoop() override { return loop_; }

    void OnSerialData(CSerialPort& port, const std::uint8_t* rx) override {
        const auto now = SteadyClock::now();
        const std::size_t i = port.ComNumber();
        if (rx[0] != kAck)
            ++wrongAnswers;
        samplesUs.push_back(std::chrono::duration<double, std::micro>(now - sentAt_[i]).count());
        if (--remaining_[i] > 0)
            send(port);
        else
            ++portsDone;
    }
    void OnPortLost(CSerialPort&) override { ++lost; }
    void ShowSerialError(const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
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
    std::vector<SteadyClock::time_point> sentAt_;
    std::vector<int> remaining_;
};

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(index, v.size() - 1)];
}

bool runCase(std::size_t portCount, int roundsPerPort) {
    std::vector<pellion::posix::PseudoTerminal> ptys;
    std::vector<int> masters;
    for (std::size_t i = 0; i < portCount; ++i) {
        auto pty = pellion::posix::openPseudoTerminal();
        if (!pty.ok()) {
            std::fprintf(stderr, "pseudo-terminal: %s\n", pty.error.c_str());
            return false;
        }
        masters.push_back(pty.masterFd);
        ptys.push_back(std::move(pty));
    }
    BenchOwner owner(portCount, roundsPerPort);
    std::vector<std::unique_ptr<CSerialPort>> ports;
    for (std::size_t i = 0; i < portCount; ++i) {
        auto port = std::make_unique<CSerialPort>();
        if (!port->OpenPort(&owner, ptys[i].slavePath, static_cast<std::uint32_t>(i), 115200, 0)) {
            std::fprintf(stderr, "cannot open %s\n", ptys[i].slavePath.c_str());
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
        Peer peer(masters);
        for (auto& port : ports)
            owner.send(*port);
        finished = owner.ownerLoop().runUntil([&] { return owner.portsDone == portCount; }, 120s);
        for (auto& port : ports)
            port->StopAndClose();
    }
    for (int fd : masters)
        ::close(fd);

    if (!finished || owner.samplesUs.empty()) {
        std::printf("%2zu port(s): did not finish (%zu samples)\n", portCount,
                    owner.samplesUs.size());
        return false;
    }
    std::printf(
        "%2zu port(s): %6zu round trips  median %7.1f us  p99 %7.1f us  max %8.1f us"
        "  (wrong answers %d, lost %d)\n",
        portCount, owner.samplesUs.size(), percentile(owner.samplesUs, 0.5),
        percentile(owner.samplesUs, 0.99), percentile(owner.samplesUs, 1.0), owner.wrongAnswers,
        owner.lost);
    return true;
}

// The same exchange straight on the slave descriptor, without the port object, its monitor
// thread or the owner loop: what the pseudo-terminals and the scheduler cost by themselves.
bool runBaseline(int rounds) {
    auto pty = pellion::posix::openPseudoTerminal();
    if (!pty.ok())
        return false;
    const int slave = ::open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0)
        return false;
    std::vector<double> samples;
    {
        Peer peer({pty.masterFd});
        for (int i = 0; i < rounds; ++i) {
            const auto start = SteadyClock::now();
            if (::write(slave, kFrame, sizeof kFrame) != sizeof kFrame)
                break;
            pollfd p{slave, POLLIN, 0};
            if (::poll(&p, 1, 1000) != 1)
                break;
            std::uint8_t answer = 0;
            if (::read(slave, &answer, 1) != 1)
                break;
            samples.push_back(
                std::chrono::duration<double, std::micro>(SteadyClock::now() - start).count());
        }
    }
    ::close(slave);
    ::close(pty.masterFd);
    if (samples.empty())
        return false;
    std::printf("pty alone : %6zu round trips  median %7.1f us  p99 %7.1f us  max %8.1f us\n",
                samples.size(), percentile(samples, 0.5), percentile(samples, 0.99),
                percentile(samples, 1.0));
    return true;
}

}  // namespace

int main() {
    std::printf(
        "serial round trip: frame written, one-byte answer delivered on the owner thread\n");
    std::printf("targets: median < 200 us, p99 < 1000 us\n");
    bool ok = runBaseline(5000);
    ok = runCase(1, 5000) && ok;
    ok = runCase(32, 500) && ok;
    return ok ? 0 : 1;
}
