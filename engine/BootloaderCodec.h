#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "catalogue/DeviceCatalogue.h"

namespace pellion {

// Control bytes of the serial bootloader.
inline constexpr std::uint8_t SYNC = 0x7F;
inline constexpr std::uint8_t ACK = 0x79;
inline constexpr std::uint8_t NACK = 0x1F;

// Command codes; each is sent as the code followed by its complement.
namespace BootloaderCommand {
inline constexpr std::uint8_t GetDeviceCode = 0x06;
inline constexpr std::uint8_t ReadMemory = 0x11;
inline constexpr std::uint8_t Go = 0x21;
inline constexpr std::uint8_t WriteMemory = 0x31;
inline constexpr std::uint8_t Erase = 0x43;
inline constexpr std::uint8_t ExtendedErase = 0x44;
inline constexpr std::uint8_t WriteUnprotect = 0x73;
inline constexpr std::uint8_t ReadoutUnprotect = 0x92;
}  // namespace BootloaderCommand

inline constexpr std::uint32_t kFlashBase = 0x08000000;
inline constexpr std::uint32_t kUniformPageBase = 0x08080000;  // 4 KiB pages from here on
inline constexpr std::uint32_t kOptionBytesAddress = 0x1FFFF800;
inline constexpr int kOptionByteCount = 16;
// The chip's 96-bit unique ID in system memory, read like any other memory.
inline constexpr std::uint32_t kUniqueIdAddress = 0x1FFFF7E8;
inline constexpr int kUniqueIdBytes = 12;
inline constexpr int kMaxPageListSize = 2000;
inline constexpr int kWriteBlockBytes = 200;         // the default block of Write Memory data
inline constexpr int kMaxWriteBlockBytes = 256;      // the most one Write Memory frame carries
inline constexpr std::uint32_t kWriteAlignment = 4;  // write addresses and lengths, in bytes
inline constexpr int kMaxReadBytes = 256;
inline constexpr int kMaxFrameBytes = 2048;
inline constexpr int kDeviceCodeAnswerBytes = 7;
inline constexpr std::uint32_t kProtectionRegionBytes = 4096;  // one write-protection bit each

using OptionBytes = std::array<std::uint8_t, kOptionByteCount>;

// A frame in a caller-owned buffer; building one never allocates.
struct Frame {
    std::array<std::uint8_t, kMaxFrameBytes> bytes{};
    int length = 0;

    const std::uint8_t* data() const { return bytes.data(); }
    std::span<const std::uint8_t> view() const { return {bytes.data(), std::size_t(length)}; }
};

void MakeCommandFrame(std::uint8_t code, Frame& out);
void MakeSyncFrame(Frame& out);
void MakeAddressFrame(std::uint32_t address, Frame& out);
// count 1..256.
void MakeReadCountFrame(int count, Frame& out);

struct PageListResult {
    int pageCount = 0;             // n; pages beyond the list's capacity are counted, not stored
    std::uint32_t endAddress = 0;  // last address to write, clipped to the chip's last address
    bool fitsList = true;          // false when n exceeds the list's capacity
};

// The last flash address of a device (0 when the geometry is empty).
std::uint32_t LastFlashAddress(const DeviceGeometry& geometry);
// The erase page number holding `address`.
std::uint32_t PageOfAddress(const DeviceGeometry& geometry, std::uint32_t address);

// Fills `pageList` with the consecutive pages the image covers (imageLength >= 1).
PageListResult BuildPageList(const DeviceGeometry& geometry, std::uint32_t startAddress,
                             std::uint32_t imageLength, std::span<std::uint16_t> pageList);

// eraseCommand is 0x43 (one-byte page numbers) or 0x44 (two-byte page numbers).
void MakeEraseFrame(std::uint8_t eraseCommand, std::span<const std::uint16_t> pageList,
                    int pageCount, Frame& out);

// A block size a station may choose: a multiple of the write alignment, 4 to 256 bytes.
bool IsValidWriteBlockSize(int blockBytes);

// The image bytes the next Write memory block takes from `remainingImage` (which starts at the
// slot's image cursor): blockBytes, fewer at the end address or the image's end.
int NextWriteBlockLength(std::span<const std::uint8_t> remainingImage, std::uint32_t writeAddress,
                         std::uint32_t endAddress, int blockBytes = kWriteBlockBytes);

// The next Write memory data frame. Returns the image bytes consumed (the 0xFF pads of a last
// block are not).
int MakeNextWriteBlock(std::span<const std::uint8_t> remainingImage, std::uint32_t writeAddress,
                       std::uint32_t endAddress, Frame& out, int blockBytes = kWriteBlockBytes);

// True when every byte is 0xFF: what an erased flash cell already holds.
bool IsBlank(std::span<const std::uint8_t> bytes);

// The 16 option bytes as a data frame (18 bytes).
void MakeOptionBytesFrame(std::span<const std::uint8_t, kOptionByteCount> optionBytes, Frame& out);
// The option bytes last read with readout protection set (index 0 FF, index 1 00).
void MakeReadProtectFrame(const OptionBytes& optionBytesRead, Frame& out);

// The four identity characters of a Get device code answer (bytes 2..5). Zero bytes stay.
DeviceCode ParseDeviceCode(const std::uint8_t* answer);

// Every option byte is stored with its complement beside it (index 2k+1 holds ~index 2k): true
// when all eight pairs hold. A pair that does not was corrupted on the line (or in the chip) and
// must never be taken for a setting, nor written back.
bool OptionBytesComplementsHold(const OptionBytes& optionBytes);

// A frame of `count` 0xFF bytes. It ends whatever frame a chip is still waiting for: the chip
// refuses the frame (or, for a write, programs 0xFF, which changes no flash cell).
void MakeFillerFrame(int count, Frame& out);

// The 32-bit write-protection word: bytes 8, 10, 12, 14 as bits 0..7, 8..15, 16..23, 24..31.
std::uint32_t WriteProtectionWord(const OptionBytes& optionBytes);
// The protection bit that covers a main-flash address; none outside main flash. Bit 31 covers
// everything from its region upward, as it does on the larger chips.
int ProtectionBitOf(std::uint32_t address);
bool IsStartWriteProtected(const OptionBytes& optionBytes, std::uint32_t startAddress);
// True when any protection bit covering startAddress..endAddress (inclusive) is cleared.
bool IsRangeWriteProtected(const OptionBytes& optionBytes, std::uint32_t startAddress,
                           std::uint32_t endAddress);

}  // namespace pellion
