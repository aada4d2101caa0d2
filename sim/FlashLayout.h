#pragma once

#include <cstdint>
#include <optional>

#include "catalogue/DeviceCatalogue.h"

namespace pellion::sim {

inline constexpr std::uint32_t kFlashBase = 0x08000000;
inline constexpr std::uint32_t kUniformPagesBase = 0x08080000;  // 4 KiB pages from here on
inline constexpr int kFirstUniformPage = 256;
inline constexpr std::uint32_t kUniformPageBytes = 4096;

struct PageSpan {
    std::uint32_t address = 0;
    std::uint32_t bytes = 0;
};

// Where each erase page of a device lies. Below 512 KiB pages have the geometry's page size;
// above, 4 KiB pages numbered from 256.
class FlashLayout {
  public:
    explicit FlashLayout(const DeviceGeometry& geometry);

    const DeviceGeometry& geometry() const { return geometry_; }
    std::uint32_t flashBytes() const { return flashBytes_; }
    std::uint32_t endAddress() const { return kFlashBase + flashBytes_; }  // one past the last
    bool contains(std::uint32_t address, std::uint32_t length = 1) const;
    bool usesExtendedErase() const { return geometry_.eraseMode != 0; }
    // Above 512 KiB the flash has two banks: below and from 0x08080000.
    bool hasTwoBanks() const { return flashBytes_ > kUniformPagesBase - kFlashBase; }

    std::optional<PageSpan> page(int number) const;

  private:
    DeviceGeometry geometry_;
    std::uint32_t flashBytes_;
    int lowPageCount_;
};

}  // namespace pellion::sim
