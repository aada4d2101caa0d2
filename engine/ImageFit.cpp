#include "engine/ImageFit.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/BootloaderCodec.h"
#include "engine/TextTable.h"

namespace pellion {

std::string ImageFitProblem(const FirmwareImage& image, const DeviceGeometry& geometry,
                            OperatorLanguage language) {
    const std::uint32_t start = image.startAddress;
    if (start == kOptionBytesAddress) {
        if (image.imageSize < std::uint32_t(kOptionByteCount)) {
            return Text(TextId::FitOptionBytesShort,
                        {{"size", std::to_string(image.imageSize)},
                         {"need", std::to_string(kOptionByteCount)}},
                        language);
        }
        return {};
    }
    const std::uint32_t last = LastFlashAddress(geometry);
    if (start < kFlashBase || start > last) {
        return Text(TextId::FitStartOutside,
                    {{"start", HexAddress(start)},
                     {"first", HexAddress(kFlashBase)},
                     {"last", HexAddress(last)}},
                    language);
    }
    // The bootloader writes whole words only: a block at any other address is refused after
    // the pages were already erased.
    if (start % kWriteAlignment != 0) {
        return Text(TextId::FitStartUnaligned,
                    {{"start", HexAddress(start)}, {"align", std::to_string(kWriteAlignment)}},
                    language);
    }
    const std::uint64_t end =
        std::uint64_t(start) + std::max<std::uint32_t>(image.imageSize, 1) - 1;
    if (end > last) {
        char endText[24];
        std::snprintf(endText, sizeof endText, "0x%08llX", static_cast<unsigned long long>(end));
        return Text(TextId::FitEndBeyond, {{"end", endText}, {"last", HexAddress(last)}}, language);
    }
    std::array<std::uint16_t, kMaxPageListSize> pages{};
    const PageListResult list = BuildPageList(geometry, start, image.imageSize, pages);
    if (!list.fitsList) {
        return Text(TextId::FitTooManyPages,
                    {{"pages", std::to_string(list.pageCount)},
                     {"limit", std::to_string(kMaxPageListSize)}},
                    language);
    }
    return {};
}

}  // namespace pellion
