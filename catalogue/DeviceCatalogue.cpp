#include "catalogue/DeviceCatalogue.h"

#include "catalogue/DeviceRows.h"

namespace pellion {

DeviceCode DeviceCode::fromBytes(const std::uint8_t* fourBytes) {
    DeviceCode code;
    for (int i = 0; i < 4; ++i)
        code.bytes[i] = fourBytes[i];
    return code;
}

std::optional<DeviceCode> DeviceCode::fromText(std::string_view text) {
    if (text.size() != 4)
        return std::nullopt;
    return fromBytes(reinterpret_cast<const std::uint8_t*>(text.data()));
}

std::string DeviceCode::text() const {
    return std::string(bytes.begin(), bytes.end());
}

DeviceCatalogue::DeviceCatalogue() {
    buildCatalogue();
}

void DeviceCatalogue::buildCatalogue() {
    // emplace keeps the first value of a key that is already present.
    for (const DeviceRow& row : deviceRows()) {
        geometries_.emplace(DeviceCode(row.code), row.geometry);
    }
    for (const DeviceRow& row : deviceRows()) {
        names_.emplace(DeviceCode(row.code), row.partName);
    }
}

std::optional<DeviceGeometry> DeviceCatalogue::findGeometry(const DeviceCode& code) const {
    auto found = geometries_.find(code);
    if (found == geometries_.end())
        return std::nullopt;
    return found->second;
}

std::optional<std::string> DeviceCatalogue::findPartName(const DeviceCode& code) const {
    auto found = names_.find(code);
    if (found == names_.end())
        return std::nullopt;
    return found->second;
}

std::optional<DeviceCode> DeviceCatalogue::findCodeByPartName(std::string_view partName) const {
    for (const auto& [code, name] : names_) {
        if (name == partName)
            return code;
    }
    return std::nullopt;
}

std::vector<std::string> DeviceCatalogue::partNames() const {
    std::vector<std::string> names;
    names.reserve(names_.size());
    for (const auto& entry : names_)
        names.push_back(entry.second);
    return names;
}

std::vector<CatalogueEntry> DeviceCatalogue::entries() const {
    std::vector<CatalogueEntry> result;
    result.reserve(names_.size());
    for (const auto& [code, name] : names_) {
        auto geometry = findGeometry(code);
        result.push_back({code, name, geometry.value_or(DeviceGeometry{})});
    }
    return result;
}

}  // namespace pellion
