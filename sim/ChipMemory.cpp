#include "sim/ChipMemory.h"

#include <algorithm>

namespace pellion::sim {

ChipMemory::ChipMemory(const FlashLayout& layout, const UniqueId& uniqueId)
    : layout_(layout),
      flash_(layout.flashBytes(), 0xFF),
      ram_(kRamBytes, 0),
      options_(factoryOptionBytes()),
      uniqueId_(uniqueId) {}

OptionBytes ChipMemory::factoryOptionBytes() {
    OptionBytes bytes;
    for (int i = 0; i < kOptionByteCount; i += 2) {
        bytes[i] = 0xFF;
        bytes[i + 1] = 0x00;
    }
    bytes[0] = kReadoutUnprotectedKey;
    bytes[1] = std::uint8_t(~kReadoutUnprotectedKey);
    return bytes;
}

void ChipMemory::loadFlash(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint32_t at = address + std::uint32_t(i);
        if (layout_.contains(at))
            flash_[at - kFlashBase] = bytes[i];
    }
}

std::uint32_t ChipMemory::writeProtectionWord() const {
    return std::uint32_t(options_[8]) | std::uint32_t(options_[10]) << 8 |
           std::uint32_t(options_[12]) << 16 | std::uint32_t(options_[14]) << 24;
}

void ChipMemory::setWriteProtectionWord(std::uint32_t word) {
    for (int i = 0; i < 4; ++i) {
        const auto value = std::uint8_t(word >> (8 * i));
        options_[8 + 2 * i] = value;
        options_[9 + 2 * i] = std::uint8_t(~value);
    }
}

bool ChipMemory::isWriteProtected(std::uint32_t address) const {
    if (!layout_.contains(address))
        return false;
    const std::uint32_t region = (address - kFlashBase) / kProtectionRegionBytes;
    const int bit = int(std::min<std::uint32_t>(region, 31));
    return (writeProtectionWord() & (1u << bit)) == 0;
}

bool ChipMemory::isPageWriteProtected(const PageSpan& page) const {
    for (std::uint32_t offset = 0; offset < page.bytes; offset += kProtectionRegionBytes) {
        if (isWriteProtected(page.address + offset))
            return true;
    }
    return isWriteProtected(page.address + page.bytes - 1);
}

bool ChipMemory::isReadable(std::uint32_t address, std::uint32_t length) const {
    if (layout_.contains(address, length) || isRam(address, length))
        return true;
    const std::uint64_t end = std::uint64_t(address) + length;
    return address >= kSystemMemoryBase && end <= kOptionBytesBase + kOptionByteCount;
}

std::uint8_t ChipMemory::systemMemoryByte(std::uint32_t address) const {
    if (address >= kOptionBytesBase)
        return options_[address - kOptionBytesBase];
    if (address >= kUniqueIdAddress && address < kUniqueIdAddress + uniqueId_.size())
        return uniqueId_[address - kUniqueIdAddress];
    if (address == kFlashSizeRegister || address == kFlashSizeRegister + 1) {
        const auto kib = std::uint32_t(layout_.geometry().flashKiB);
        return std::uint8_t(address == kFlashSizeRegister ? kib : kib >> 8);
    }
    // Stand-in for the bootloader's own code: a fixed, recognisable pattern.
    const std::uint32_t offset = address - kSystemMemoryBase;
    return std::uint8_t((offset * 37u + 11u) ^ (offset >> 8));
}

std::vector<std::uint8_t> ChipMemory::read(std::uint32_t address, std::uint32_t length) const {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(length);
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint32_t at = address + i;
        if (isRam(at))
            bytes.push_back(ram_[at - kRamBase]);
        else
            bytes.push_back(layout_.contains(at) ? flash_[at - kFlashBase] : systemMemoryByte(at));
    }
    return bytes;
}

bool ChipMemory::isExecutable(std::uint32_t address) const {
    return layout_.contains(address) || isRam(address);
}

bool ChipMemory::isRam(std::uint32_t address, std::uint32_t length) const {
    return address >= kRamBase && std::uint64_t(address) + length <= kRamBase + kRamBytes;
}

bool ChipMemory::isLoadableRam(std::uint32_t address, std::uint32_t length) const {
    return isRam(address, length) && address >= kRamBase + kBootloaderRamBytes;
}

void ChipMemory::writeRam(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    if (isRam(address, std::uint32_t(bytes.size())))
        std::copy(bytes.begin(), bytes.end(), ram_.begin() + (address - kRamBase));
}

FlashOutcome ChipMemory::program(std::uint32_t address, std::span<const std::uint8_t> data,
                                 ProtectedWritePolicy policy) {
    FlashOutcome outcome;
    if (!layout_.contains(address, std::uint32_t(data.size()))) {
        outcome.ok = false;
        return outcome;
    }
    if (policy == ProtectedWritePolicy::Nack) {
        for (std::size_t i = 0; i < data.size(); ++i) {
            if (isWriteProtected(address + std::uint32_t(i))) {
                outcome.ok = false;
                return outcome;
            }
        }
    }
    for (std::size_t i = 0; i < data.size(); i += 2) {
        const std::uint32_t at = address + std::uint32_t(i);
        if (isWriteProtected(at))
            continue;
        const std::size_t count = std::min<std::size_t>(2, data.size() - i);
        std::uint8_t* cells = &flash_[at - kFlashBase];
        if (!std::all_of(cells, cells + count, [](std::uint8_t b) { return b == 0xFF; })) {
            outcome.ok = false;
            return outcome;
        }
        for (std::size_t k = 0; k < count; ++k) {
            outcome.bytesProgrammed += cells[k] != data[i + k] ? 1 : 0;
            cells[k] = data[i + k];
        }
    }
    return outcome;
}

FlashOutcome ChipMemory::eraseSpans(const std::vector<PageSpan>& spans,
                                    ProtectedWritePolicy policy) {
    FlashOutcome outcome;
    if (policy == ProtectedWritePolicy::Nack) {
        for (const PageSpan& span : spans) {
            if (isPageWriteProtected(span)) {
                outcome.ok = false;
                return outcome;
            }
        }
    }
    for (const PageSpan& span : spans) {
        if (isPageWriteProtected(span))
            continue;
        auto first = flash_.begin() + (span.address - kFlashBase);
        std::fill(first, first + span.bytes, 0xFF);
        ++outcome.pagesErased;
    }
    return outcome;
}

FlashOutcome ChipMemory::erasePages(std::span<const int> pages, ProtectedWritePolicy policy) {
    std::vector<PageSpan> spans;
    for (int number : pages) {
        auto span = layout_.page(number);
        if (!span)
            return FlashOutcome{false, 0, 0};
        spans.push_back(*span);
    }
    return eraseSpans(spans, policy);
}

FlashOutcome ChipMemory::eraseAll(ProtectedWritePolicy policy) {
    std::vector<PageSpan> spans;
    for (int number = 0; number < layout_.geometry().pageCount; ++number) {
        if (auto span = layout_.page(number))
            spans.push_back(*span);
    }
    return eraseSpans(spans, policy);
}

FlashOutcome ChipMemory::eraseBank(int bank, ProtectedWritePolicy policy) {
    const bool upper = bank == 2;
    if (upper && !layout_.hasTwoBanks())
        return FlashOutcome{false, 0, 0};
    std::vector<PageSpan> spans;
    for (int number = 0; number < layout_.geometry().pageCount; ++number) {
        auto span = layout_.page(number);
        if (span && (span->address >= kUniformPagesBase) == upper)
            spans.push_back(*span);
    }
    return eraseSpans(spans, policy);
}

void ChipMemory::eraseUnconditionally() {
    std::fill(flash_.begin(), flash_.end(), 0xFF);
}

void ChipMemory::rewriteOptionBytes(std::span<const std::uint8_t> bytes) {
    options_.fill(0xFF);
    std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), options_.size()),
                options_.begin());
}

void ChipMemory::flipBit(std::uint32_t address, int bit) {
    if (layout_.contains(address))
        flash_[address - kFlashBase] ^= std::uint8_t(1u << bit);
}

}  // namespace pellion::sim
