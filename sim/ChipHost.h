#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "sim/ChipLoop.h"
#include "sim/ChipOptions.h"
#include "sim/SocketService.h"
#include "sim/VirtualChip.h"

namespace pellion::sim {

// Virtual chips on pseudo-terminals, served by one shared loop or by a loop per chip. Each
// chip's line endpoint (its DTR and RTS) is served beside it.
class ChipHost {
  public:
    enum class Threading { SharedLoop, LoopPerChip };

    explicit ChipHost(Threading threading = Threading::SharedLoop);
    ~ChipHost();
    ChipHost(const ChipHost&) = delete;
    ChipHost& operator=(const ChipHost&) = delete;

    struct Added {
        VirtualChip* chip = nullptr;
        std::string error;  // empty on success
    };
    // A new chip on a new pseudo-terminal, served at once.
    Added addChip(const ChipOptions& options);

    std::size_t size() const { return chips_.size(); }
    VirtualChip& chip(std::size_t index) { return *chips_.at(index); }
    const VirtualChip& chip(std::size_t index) const { return *chips_.at(index); }

    // CPU time spent serving the chips: in-process benchmarks subtract it from their own.
    std::chrono::nanoseconds serveCpuTime() const;

    // The side channels: the chips' line endpoints, and whatever else listens beside them.
    SocketService& sideChannels() { return sideChannels_; }

    // Stops serving; the chips stay readable.
    void stop();

  private:
    Threading threading_;
    SocketService sideChannels_;
    std::vector<std::shared_ptr<VirtualChip>> chips_;
    std::vector<std::unique_ptr<ChipLoop>> loops_;
};

// The geometry a chip with these options gets: the explicit one, else the catalogue's.
std::optional<DeviceGeometry> geometryFor(const ChipOptions& options);

}  // namespace pellion::sim
