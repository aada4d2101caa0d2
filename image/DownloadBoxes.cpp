#include "image/DownloadBoxes.h"

#include <string_view>

#include "image/AddressText.h"
#include "image/DownloadFile.h"
#include "image/HexImage.h"

namespace pellion {

DownloadBoxes boxesForChosenFile(const std::string& path) {
    DownloadBoxes boxes;
    boxes.filePath = path;
    if (downloadFileKind(path) != DownloadFileKind::Hex) {
        boxes.addressControlsEnabled = true;
        return boxes;
    }
    auto text = readDownloadFile(path);
    if (!text) {
        boxes.addressText = std::string();
        boxes.problem = text.why();
        return boxes;
    }
    const auto& bytes = text.value();
    auto start = hexStartAddress(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!start) {
        boxes.addressText = std::string();
        boxes.problem = start.why();
        return boxes;
    }
    boxes.addressText = formatAddressText(start.value());
    boxes.addressControlsEnabled = false;
    return boxes;
}

}  // namespace pellion
