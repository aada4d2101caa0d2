#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/ChipOptions.h"
#include "sim/FlashLayout.h"
#include "sim/UniqueId.h"

namespace pellion::sim {

inline constexpr std::uint32_t kOptionBytesBase = 0x1FFFF800;
inline constexpr int kOptionByteCount = 16;
inline constexpr std::uint32_t kSystemMemoryBase = 0x1FFFF000;   // up to the option bytes
inline constexpr std::uint32_t kFlashSizeRegister = 0x1FFFF7E0;  // flash KiB, 16 bits
inline constexpr std::uint32_t kUniqueIdAddress = 0x1FFFF7E8;    // 12 bytes
inline constexpr std::uint32_t kRamBase = 0x20000000;
inline constexpr std::uint32_t kRamBytes = 20 * 1024;
// The RAM the bootloader keeps for itself: Write Memory refuses it.
inline constexpr std::uint32_t kBootloaderRamBytes = 0x800;
inline constexpr std::uint8_t kReadoutUnprotectedKey = 0xA5;
inline constexpr std::uint32_t kProtectionRegionBytes = 4096;

using OptionBytes = std::array<std::uint8_t, kOptionByteCount>;

// What a flash operation did: whether the chip acknowledges it, and how much work the flash
// did (for the busy time).
struct FlashOutcome {
    bool ok = true;
    int bytesProgrammed = 0;
    int pagesErased = 0;
};

// Flash, option bytes and system memory of one chip, with the protection rules of the flash
// controller. No protocol here.
class ChipMemory {
  public:
    ChipMemory(const FlashLayout& layout, const UniqueId& uniqueId);

    static OptionBytes factoryOptionBytes();

    const FlashLayout& layout() const { return layout_; }
    const std::vector<std::uint8_t>& flash() const { return flash_; }
    const OptionBytes& optionBytes() const { return options_; }
    const UniqueId& uniqueId() const { return uniqueId_; }
    void loadFlash(std::uint32_t address, std::span<const std::uint8_t> bytes);
    void setOptionBytes(const OptionBytes& bytes) { options_ = bytes; }

    bool readoutProtected() const { return options_[0] != kReadoutUnprotectedKey; }
    // Bytes 8, 10, 12 and 14 as bits 0..31; a cleared bit protects its 4 KiB region. Bit 31
    // also covers everything above its region.
    std::uint32_t writeProtectionWord() const;
    void setWriteProtectionWord(std::uint32_t word);
    bool isWriteProtected(std::uint32_t address) const;
    bool isPageWriteProtected(const PageSpan& page) const;

    // Readable: flash, and system memory with the option bytes behind it.
    bool isReadable(std::uint32_t address, std::uint32_t length = 1) const;
    std::vector<std::uint8_t> read(std::uint32_t address, std::uint32_t length) const;
    bool isExecutable(std::uint32_t address) const;
    bool isRam(std::uint32_t address, std::uint32_t length = 1) const;
    // RAM above the bootloader's own, where Write Memory may load a program.
    bool isLoadableRam(std::uint32_t address, std::uint32_t length = 1) const;
    void writeRam(std::uint32_t address, std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t>& ram() { return ram_; }

    // Programs half-word by half-word in address order. As on real flash, a half-word that is
    // not erased stops the programming with a failure, even when it already holds the new
    // value (the half-words before it stay programmed).
    FlashOutcome program(std::uint32_t address, std::span<const std::uint8_t> data,
                         ProtectedWritePolicy policy);
    // Erases the listed pages; any page number outside the flash fails the whole list.
    FlashOutcome erasePages(std::span<const int> pages, ProtectedWritePolicy policy);
    FlashOutcome eraseAll(ProtectedWritePolicy policy);
    FlashOutcome eraseBank(int bank, ProtectedWritePolicy policy);  // 1 or 2
    // Readout unprotect: the whole flash, whatever the write protection.
    void eraseUnconditionally();

    // The option page is erased as a whole, then `bytes` (at most 16) are programmed from its
    // start; the rest stays erased (0xFF).
    void rewriteOptionBytes(std::span<const std::uint8_t> bytes);

    // Flips one bit of a programmed flash byte: a bad cell.
    void flipBit(std::uint32_t address, int bit);

  private:
    FlashOutcome eraseSpans(const std::vector<PageSpan>& spans, ProtectedWritePolicy policy);
    std::uint8_t systemMemoryByte(std::uint32_t address) const;

    FlashLayout layout_;
    std::vector<std::uint8_t> flash_;
    std::vector<std::uint8_t> ram_;
    OptionBytes options_;
    UniqueId uniqueId_{};
};

}  // namespace pellion::sim
