#include "sim/FlashLayout.h"

#include <algorithm>

namespace pellion::sim {

FlashLayout::FlashLayout(const DeviceGeometry& geometry)
    : geometry_(geometry),
      flashBytes_(std::uint32_t(std::max(geometry.flashKiB, 0)) * 1024u),
      lowPageCount_(0) {
    if (geometry.pageBytes > 0) {
        const int lowRegionPages = int((kUniformPagesBase - kFlashBase) / geometry.pageBytes);
        lowPageCount_ = std::min(geometry.pageCount, lowRegionPages);
    }
}

bool FlashLayout::contains(std::uint32_t address, std::uint32_t length) const {
    if (address < kFlashBase)
        return false;
    const std::uint64_t offset = address - kFlashBase;
    return offset + length <= flashBytes_;
}

std::optional<PageSpan> FlashLayout::page(int number) const {
    if (number < 0 || number >= geometry_.pageCount)
        return std::nullopt;
    PageSpan span;
    if (number < lowPageCount_) {
        span = {kFlashBase + std::uint32_t(number) * std::uint32_t(geometry_.pageBytes),
                std::uint32_t(geometry_.pageBytes)};
    } else if (number >= kFirstUniformPage) {
        span = {kUniformPagesBase + std::uint32_t(number - kFirstUniformPage) * kUniformPageBytes,
                kUniformPageBytes};
    } else {
        return std::nullopt;
    }
    if (!contains(span.address, span.bytes))
        return std::nullopt;
    return span;
}

}  // namespace pellion::sim
