#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "engine/HelperCodec.h"
#include "support/VirtualChipFixture.h"

namespace pellion::test {

// The host side of the RAM helper over a raw line, blocking: loads the helper with the ROM
// protocol (Write Memory to RAM, Go) and speaks the helper's protocol through engine's codec.
// The engine will drive the same turns from its owner loop; tests and the benchmark use this.
class HelperLink {
  public:
    HelperLink(RawChipLine& line, std::uint32_t baud) : line_(line), baud_(baud) {}

    // Synchronises with the bootloader, loads and starts the helper, waits for its Ready.
    // Returns an error text, empty on success.
    std::string load(bool usePll = true);
    // The ROM protocol's part: sync, Write Memory of `image` at kHelperLoadAddress, Go there.
    std::string loadAndGo(std::span<const std::uint8_t> image);

    std::optional<HelperAnswer> exchange(const Frame& frame, std::chrono::milliseconds timeout);
    std::optional<HelperAnswer> readAnswer(std::chrono::milliseconds timeout);
    bool send(const Frame& frame);

    std::optional<HelperAnswer> erase(const DeviceGeometry& geometry, std::uint32_t address,
                                      std::uint32_t length);
    std::optional<HelperAnswer> crc(std::uint32_t address, std::uint32_t length);

    struct WriteResult {
        bool ok = false;
        std::optional<HelperAnswer> failure;  // the answer that stopped it; none: no answer
        int resent = 0;                       // chunks sent again after a BadFrame answer
    };
    // Chunks of kHelperChunkBytes, kHelperWriteWindow in flight. `damage` may change the bytes
    // of a chunk's first sending, as a noisy line would.
    WriteResult write(std::uint32_t address, std::span<const std::uint8_t> data,
                      const std::function<void(int chunk, Frame&)>& damage = {});

    enum class SpeedResult { Switched, Refused, FellBack, Lost };
    // Asks the helper for `baud`; `hostFollows` false plays an adapter that cannot follow.
    SpeedResult switchSpeed(std::uint32_t baud, bool hostFollows = true);

    std::uint32_t baud() const { return baud_; }

  private:
    bool bootloaderTurn(const Frame& frame);

    RawChipLine& line_;
    std::uint32_t baud_;
};

}  // namespace pellion::test
