#include "engine/BootloaderCodec.h"

#include <algorithm>

namespace pellion {

namespace {

std::uint8_t xorOf(const std::uint8_t* bytes, int count) {
    std::uint8_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum ^= bytes[i];
    return sum;
}

void frameData(std::uint8_t lengthByte, const std::uint8_t* data, int count, int padTo,
               Frame& out) {
    out.bytes[0] = lengthByte;
    std::copy(data, data + count, out.bytes.begin() + 1);
    std::fill(out.bytes.begin() + 1 + count, out.bytes.begin() + 1 + padTo, std::uint8_t{0xFF});
    out.bytes[1 + padTo] = xorOf(out.bytes.data(), 1 + padTo);
    out.length = padTo + 2;
}

}  // namespace

void MakeCommandFrame(std::uint8_t code, Frame& out) {
    out.bytes[0] = code;
    out.bytes[1] = code ^ 0xFF;
    out.length = 2;
}

void MakeSyncFrame(Frame& out) {
    out.bytes[0] = SYNC;
    out.length = 1;
}

void MakeAddressFrame(std::uint32_t address, Frame& out) {
    out.bytes[0] = std::uint8_t(address >> 24);
    out.bytes[1] = std::uint8_t(address >> 16);
    out.bytes[2] = std::uint8_t(address >> 8);
    out.bytes[3] = std::uint8_t(address);
    out.bytes[4] = xorOf(out.bytes.data(), 4);
    out.length = 5;
}

void MakeReadCountFrame(int count, Frame& out) {
    const auto n = std::uint8_t(std::clamp(count, 1, kMaxReadBytes) - 1);
    out.bytes[0] = n;
    out.bytes[1] = n ^ 0xFF;
    out.length = 2;
}

std::uint32_t LastFlashAddress(const DeviceGeometry& geometry) {
    if (geometry.flashKiB <= 0)
        return 0;
    return kFlashBase + std::uint32_t(geometry.flashKiB) * 1024u - 1u;
}

std::uint32_t PageOfAddress(const DeviceGeometry& geometry, std::uint32_t address) {
    if (address < kUniformPageBase) {
        const auto pageBytes = std::uint32_t(std::max(geometry.pageBytes, 1));
        return (address - kFlashBase) / pageBytes;
    }
    return ((address - kUniformPageBase) >> 12) + 256u;
}

PageListResult BuildPageList(const DeviceGeometry& geometry, std::uint32_t startAddress,
                             std::uint32_t imageLength, std::span<std::uint16_t> pageList) {
    PageListResult result;
    result.endAddress = startAddress + std::max<std::uint32_t>(imageLength, 1) - 1;
    const std::uint32_t last = LastFlashAddress(geometry);
    if (result.endAddress > last)
        result.endAddress = last;

    const std::uint32_t first = PageOfAddress(geometry, startAddress);
    const std::uint32_t lastPage = PageOfAddress(geometry, result.endAddress);
    const std::int64_t n = std::int64_t(lastPage) - std::int64_t(first) + 1;
    result.pageCount = int(std::clamp<std::int64_t>(n, 0, 0x7FFFFFFF));
    result.fitsList = n >= 1 && n <= std::int64_t(pageList.size());
    const int stored = std::min<int>(result.pageCount, int(pageList.size()));
    for (int i = 0; i < stored; ++i)
        pageList[i] = std::uint16_t(first + std::uint32_t(i));
    return result;
}

void MakeEraseFrame(std::uint8_t eraseCommand, std::span<const std::uint16_t> pageList,
                    int pageCount, Frame& out) {
    // The largest frame (two-byte numbers) must fit the buffer.
    const int n =
        std::clamp(pageCount, 1, std::min<int>(int(pageList.size()), (kMaxFrameBytes - 3) / 2));
    int at = 0;
    if (eraseCommand == BootloaderCommand::ExtendedErase) {
        out.bytes[at++] = std::uint8_t((n - 1) >> 8);
        out.bytes[at++] = std::uint8_t(n - 1);
        for (int i = 0; i < n; ++i) {
            out.bytes[at++] = std::uint8_t(pageList[i] >> 8);
            out.bytes[at++] = std::uint8_t(pageList[i]);
        }
    } else {
        out.bytes[at++] = std::uint8_t(n - 1);
        for (int i = 0; i < n; ++i)
            out.bytes[at++] = std::uint8_t(pageList[i]);
    }
    out.bytes[at] = xorOf(out.bytes.data(), at);
    out.length = at + 1;
}

bool IsValidWriteBlockSize(int blockBytes) {
    return blockBytes >= int(kWriteAlignment) && blockBytes <= kMaxWriteBlockBytes &&
           blockBytes % int(kWriteAlignment) == 0;
}

int NextWriteBlockLength(std::span<const std::uint8_t> remainingImage, std::uint32_t writeAddress,
                         std::uint32_t endAddress, int blockBytes) {
    if (!IsValidWriteBlockSize(blockBytes))
        blockBytes = kWriteBlockBytes;
    const std::uint32_t remaining = endAddress - writeAddress;
    int count = remaining > std::uint32_t(blockBytes) ? blockBytes : int(remaining) + 1;
    // A last block one byte longer than the others must still fit a frame.
    if (count > kMaxWriteBlockBytes)
        count = blockBytes;
    // Never read past the image, whatever the caller's end address says.
    return std::max(0, std::min<int>(count, int(remainingImage.size())));
}

int MakeNextWriteBlock(std::span<const std::uint8_t> remainingImage, std::uint32_t writeAddress,
                       std::uint32_t endAddress, Frame& out, int blockBytes) {
    const int count = NextWriteBlockLength(remainingImage, writeAddress, endAddress, blockBytes);
    if (count <= 0) {
        out.length = 0;
        return 0;
    }
    const int padded = (count + 3) / 4 * 4;
    frameData(std::uint8_t(padded - 1), remainingImage.data(), count, padded, out);
    return count;
}

bool IsBlank(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

void MakeOptionBytesFrame(std::span<const std::uint8_t, kOptionByteCount> optionBytes, Frame& out) {
    frameData(kOptionByteCount - 1, optionBytes.data(), kOptionByteCount, kOptionByteCount, out);
}

void MakeReadProtectFrame(const OptionBytes& optionBytesRead, Frame& out) {
    OptionBytes protectedBytes = optionBytesRead;
    protectedBytes[0] = 0xFF;
    protectedBytes[1] = 0x00;
    MakeOptionBytesFrame(protectedBytes, out);
}

bool OptionBytesComplementsHold(const OptionBytes& optionBytes) {
    for (int i = 0; i < kOptionByteCount; i += 2) {
        if (std::uint8_t(optionBytes[i] ^ optionBytes[i + 1]) != 0xFF)
            return false;
    }
    return true;
}

void MakeFillerFrame(int count, Frame& out) {
    out.length = std::clamp(count, 0, kMaxFrameBytes);
    std::fill_n(out.bytes.begin(), out.length, std::uint8_t{0xFF});
}

DeviceCode ParseDeviceCode(const std::uint8_t* answer) {
    return DeviceCode::fromBytes(answer + 2);
}

std::uint32_t WriteProtectionWord(const OptionBytes& optionBytes) {
    return std::uint32_t(optionBytes[8]) | std::uint32_t(optionBytes[10]) << 8 |
           std::uint32_t(optionBytes[12]) << 16 | std::uint32_t(optionBytes[14]) << 24;
}

int ProtectionBitOf(std::uint32_t address) {
    if (address < kFlashBase || address >= kOptionBytesAddress)
        return -1;
    return int(std::min<std::uint32_t>((address - kFlashBase) / kProtectionRegionBytes, 31));
}

bool IsStartWriteProtected(const OptionBytes& optionBytes, std::uint32_t startAddress) {
    return IsRangeWriteProtected(optionBytes, startAddress, startAddress);
}

bool IsRangeWriteProtected(const OptionBytes& optionBytes, std::uint32_t startAddress,
                           std::uint32_t endAddress) {
    const int firstBit = ProtectionBitOf(startAddress);
    if (firstBit < 0)
        return false;
    int lastBit = ProtectionBitOf(std::max(startAddress, endAddress));
    if (lastBit < 0)
        lastBit = 31;
    const std::uint32_t word = WriteProtectionWord(optionBytes);
    for (int bit = firstBit; bit <= lastBit; ++bit) {
        if ((word & (1u << bit)) == 0)
            return true;
    }
    return false;
}

}  // namespace pellion
