#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "engine/MemoryRunHost.h"
#include "engine/OwnerLoop.h"
#include "engine/RunControl.h"
#include "serial/PortTable.h"
#include "sim/ChipHost.h"

namespace pellion::test {

// The whole engine against virtual chips on real pseudo-terminals: a port table over the
// chips' devices, a headless host for the rows, and the run control on this thread's loop.
class EngineRig {
  public:
    EngineRig();
    ~EngineRig();

    sim::VirtualChip& addChip(const sim::ChipOptions& options);
    sim::VirtualChip& addChip(const char (&code)[5]);
    // After the chips are added: the table, the rows and the run control. Ports in
    // `extraDevices` follow the chips' (a pty with nobody behind it, say).
    void build();
    std::vector<std::string> extraDevices;

    void tick(std::int32_t slot);
    void untick(std::int32_t slot);
    // Runs the loop until the slot's identification has ended (ready, waiting for a model,
    // or failed).
    bool waitIdentified(std::int32_t slot,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    void tickAllAndIdentify();

    // Writes the image to a file and puts it in the download box.
    void setImage(const std::vector<std::uint8_t>& bytes, std::uint32_t address = 0x08000000);
    // OK, then the loop until the run has ended.
    bool run(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));
    void serveFor(std::chrono::milliseconds duration);

    PortSlot& slot(std::int32_t index) { return table.slot(index); }
    MemoryRunHost::Row& row(std::int32_t index) { return host->row(index); }
    bool remarked(std::int32_t slot, const std::string& text) const;
    std::vector<std::uint8_t> flashOf(std::size_t chip, std::uint32_t address,
                                      std::size_t length) const;

    OwnerLoop loop;
    DeviceCatalogue catalogue;
    sim::ChipHost chips;
    PortTable table;
    std::unique_ptr<MemoryRunHost> host;
    std::unique_ptr<RunControl> control;
    EngineTiming timing;
    std::string imagePath;
};

// A recognisable image: every byte differs from its neighbours and from the erased 0xFF.
std::vector<std::uint8_t> patternImage(std::size_t size, std::uint8_t seed = 1);

// The 16 option bytes of a chip without readout protection (A5 5A), with user byte `user` and
// write protection off everywhere; every byte is followed by its complement.
std::vector<std::uint8_t> unprotectedOptionBytes(std::uint8_t user);

}  // namespace pellion::test
