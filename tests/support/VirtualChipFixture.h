#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "sim/ChipHost.h"
#include "sim/ChipOptions.h"
#include "sim/VirtualChip.h"

namespace pellion::test {

// N virtual chips on pseudo-terminals, served in this process while the fixture lives. The code
// under test opens devicePath(i) like any serial port; the test inspects and changes chip(i).
//
//   VirtualChipFixture chips(4);                       // four fresh 1RCB chips, timing off
//   VirtualChipFixture chips(2, options);              // same options for each
//   VirtualChipFixture chips(3, [](std::size_t i) {    // per-chip options
//       sim::ChipOptions o; o.code = DeviceCode("1RCB"); o.readoutProtected = i == 1; return o;
//   });
//   ... chips.chip(0).flash(), chips.chip(1).readoutProtected(), chips.chip(2).stats() ...
class VirtualChipFixture {
  public:
    using OptionsFor = std::function<sim::ChipOptions(std::size_t index)>;
    using Threading = sim::ChipHost::Threading;

    explicit VirtualChipFixture(std::size_t count, const sim::ChipOptions& options = {},
                                Threading threading = Threading::SharedLoop);
    VirtualChipFixture(std::size_t count, const OptionsFor& optionsFor,
                       Threading threading = Threading::SharedLoop);

    // False when a chip could not be created; error() says why.
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    std::size_t size() const { return host_.size(); }
    const std::string& devicePath(std::size_t index) const;
    std::vector<std::string> devicePaths() const;
    sim::VirtualChip& chip(std::size_t index) { return host_.chip(index); }
    sim::ChipHost& host() { return host_; }

  private:
    sim::ChipHost host_;
    std::string error_;
};

// The host side of one chip's line, opened raw at a baud rate with 8E1 like a serial port, for
// tests that speak the bootloader protocol byte by byte.
class RawChipLine {
  public:
    explicit RawChipLine(const std::string& devicePath, std::uint32_t baud = 115200);
    ~RawChipLine();
    RawChipLine(const RawChipLine&) = delete;
    RawChipLine& operator=(const RawChipLine&) = delete;

    bool ok() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

    // Changes the line's speed, as an adapter does on request.
    bool setBaud(std::uint32_t baud);
    bool write(const std::vector<std::uint8_t>& bytes);
    bool write(std::initializer_list<std::uint8_t> bytes);
    // Until `count` bytes arrived or `timeout` passed; what arrived.
    std::vector<std::uint8_t> read(std::size_t count,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(3));
    // Everything that arrives until the line has been quiet for `quiet`.
    std::vector<std::uint8_t> readUntilQuiet(
        std::chrono::milliseconds quiet = std::chrono::milliseconds(100),
        std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // True once the far side closed the line.
    bool hungUp() const { return hungUp_; }
    void close();

  private:
    int fd_ = -1;
    bool hungUp_ = false;
    std::string error_;
};

}  // namespace pellion::test
