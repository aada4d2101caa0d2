#include "sim/ChipHost.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/posix/PseudoTerminal.h"
#include "sim/LineEndpoint.h"

namespace pellion::sim {

std::optional<DeviceGeometry> geometryFor(const ChipOptions& options) {
    if (options.geometry)
        return options.geometry;
    static const DeviceCatalogue catalogue;
    return catalogue.findGeometry(options.code);
}

ChipHost::ChipHost(Threading threading) : threading_(threading) {}

ChipHost::~ChipHost() {
    stop();
}

ChipHost::Added ChipHost::addChip(const ChipOptions& options) {
    Added added;
    const auto geometry = geometryFor(options);
    if (!geometry || geometry->flashKiB <= 0 || geometry->pageBytes <= 0) {
        added.error = "no flash geometry for device code \"" + options.code.text() + "\"";
        return added;
    }
    auto pty = posix::openPseudoTerminal();
    if (!pty.ok()) {
        added.error = "cannot create a pseudo-terminal: " + pty.error;
        return added;
    }
    // Holding the slave open keeps the line alive between hosts: without it the master reads
    // as hung up whenever no host has the device open.
    const int keeper = ::open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (keeper < 0) {
        added.error = "cannot open " + pty.slavePath + ": " + std::strerror(errno);
        ::close(pty.masterFd);
        return added;
    }
    auto chip = std::make_shared<VirtualChip>(options, FlashLayout(*geometry), pty.masterFd, keeper,
                                              pty.slavePath);
    if (std::string error = serveLineEndpoint(sideChannels_, chip); !error.empty()) {
        added.error = error;
        return added;
    }
    if (threading_ == Threading::LoopPerChip || loops_.empty())
        loops_.push_back(std::make_unique<ChipLoop>());
    loops_.back()->add(chip);
    chips_.push_back(chip);
    added.chip = chip.get();
    return added;
}

std::chrono::nanoseconds ChipHost::serveCpuTime() const {
    std::chrono::nanoseconds total{0};
    for (const auto& loop : loops_)
        total += loop->cpuTime();
    return total;
}

void ChipHost::stop() {
    sideChannels_.stop();
    for (auto& loop : loops_)
        loop->stop();
}

}  // namespace pellion::sim
