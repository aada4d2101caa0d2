#include "engine/ImageFit.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/BootloaderCodec.h"
#include "engine/TextTable.h"

namespace pellion {

OperatorText ImageFitIssue(const FirmwareImage& image, const DeviceGeometry& geometry) {
    const std::uint32_t start = image.startAddress;
    if (start == kOptionBytesAddress) {
        if (image.imageSize < std::uint32_t(kOptionByteCount)) {
            return OperatorText(TextId::FitOptionBytesShort)
                .with("size", std::to_string(image.imageSize))
                .with("need", std::to_string(kOptionByteCount));
        }
        return {};
    }
    const std::uint32_t last = LastFlashAddress(geometry);
    if (start < kFlashBase || start > last) {
        return OperatorText(TextId::FitStartOutside)
            .with("start", HexAddress(start))
            .with("first", HexAddress(kFlashBase))
            .with("last", HexAddress(last));
    }
    // The bootloader writes whole words only: a block at any other address is refused after
    // the pages were already erased.
    if (start % kWriteAlignment != 0) {
        return OperatorText(TextId::FitStartUnaligned)
            .with("start", HexAddress(start))
            .with("align", std::to_string(kWriteAlignment));
    }
    const std::uint64_t end =
        std::uint64_t(start) + std::max<std::uint32_t>(image.imageSize, 1) - 1;
    if (end > last) {
        char endText[24];
        std::snprintf(endText, sizeof endText, "0x%08llX", static_cast<unsigned long long>(end));
        return OperatorText(TextId::FitEndBeyond)
            .with("end", endText)
            .with("last", HexAddress(last));
    }
    std::array<std::uint16_t, kMaxPageListSize> pages{};
    const PageListResult list = BuildPageList(geometry, start, image.imageSize, pages);
    if (!list.fitsList) {
        return OperatorText(TextId::FitTooManyPages)
            .with("pages", std::to_string(list.pageCount))
            .with("limit", std::to_string(kMaxPageListSize));
    }
    return {};
}

std::string ImageFitProblem(const FirmwareImage& image, const DeviceGeometry& geometry,
                            OperatorLanguage language) {
    return ImageFitIssue(image, geometry).words(language);
}

}  // namespace pellion
