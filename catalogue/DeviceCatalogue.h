#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellion {

// The four identity characters a chip's bootloader reports. Compared byte by byte,
// case-sensitively; ordering is the plain byte order (digits before capital letters).
struct DeviceCode {
    std::array<std::uint8_t, 4> bytes{};

    constexpr DeviceCode() = default;
    // From a four-character literal: DeviceCode("1RCB").
    constexpr explicit DeviceCode(const char (&text)[5])
        : bytes{static_cast<std::uint8_t>(text[0]), static_cast<std::uint8_t>(text[1]),
                static_cast<std::uint8_t>(text[2]), static_cast<std::uint8_t>(text[3])} {}
    // From the four identity bytes of a bootloader answer, in the order received.
    static DeviceCode fromBytes(const std::uint8_t* fourBytes);
    // From text typed or printed elsewhere; none unless it has exactly four characters.
    static std::optional<DeviceCode> fromText(std::string_view text);

    std::string text() const;  // the four bytes as characters

    friend constexpr auto operator<=>(const DeviceCode&, const DeviceCode&) = default;
    friend constexpr bool operator==(const DeviceCode&, const DeviceCode&) = default;
};

// Flash layout of one device, five signed 32-bit integers in this order.
struct DeviceGeometry {
    std::int32_t flashKiB = 0;
    std::int32_t pagesPer4KiB = 0;  // 4096 / pageBytes; carried along, read by nobody
    std::int32_t pageBytes = 0;     // page size in the first 512 KiB
    std::int32_t pageCount = 0;     // erase pages of the whole flash
    std::int32_t eraseMode = 0;     // 0: one-byte-page erase; 1 or 2: extended erase

    friend constexpr bool operator==(const DeviceGeometry&, const DeviceGeometry&) = default;
};

// One row of the catalogue, as stored.
struct CatalogueEntry {
    DeviceCode code;
    std::string partName;
    DeviceGeometry geometry;
};

// The known devices: two tables keyed by device code (code to part name, code to geometry),
// built once and read-only afterwards. Every enumeration is in code order.
class DeviceCatalogue {
  public:
    DeviceCatalogue();  // builds both tables from the stored rows

    std::optional<DeviceGeometry> findGeometry(const DeviceCode& code) const;
    std::optional<std::string> findPartName(const DeviceCode& code) const;
    // The code of the first entry, in code order, whose part name equals `partName` exactly.
    std::optional<DeviceCode> findCodeByPartName(std::string_view partName) const;
    std::vector<std::string> partNames() const;
    std::vector<CatalogueEntry> entries() const;
    std::size_t size() const { return geometries_.size(); }

  private:
    void buildCatalogue();

    std::map<DeviceCode, DeviceGeometry> geometries_;
    std::map<DeviceCode, std::string> names_;
};

}  // namespace pellion
