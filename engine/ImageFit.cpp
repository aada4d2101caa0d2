#include "engine/ImageFit.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/BootloaderCodec.h"
#include "image/FormatText.h"

namespace pellion {

std::string ImageFitProblem(const FirmwareImage& image, const DeviceGeometry& geometry) {
    const std::uint32_t start = image.startAddress;
    if (start == kOptionBytesAddress) {
        if (image.imageSize < std::uint32_t(kOptionByteCount)) {
            return formatText("选项字节文件只有%u字节,需要%d字节", unsigned(image.imageSize),
                              kOptionByteCount);
        }
        return {};
    }
    const std::uint32_t last = LastFlashAddress(geometry);
    if (start < kFlashBase || start > last) {
        return formatText("起始地址0x%08X不在芯片闪存范围(0x%08X-0x%08X)内", unsigned(start),
                          unsigned(kFlashBase), unsigned(last));
    }
    // The bootloader writes whole words only: a block at any other address is refused after
    // the pages were already erased.
    if (start % kWriteAlignment != 0) {
        return formatText("起始地址0x%08X不是%u字节对齐的地址,芯片无法写入", unsigned(start),
                          unsigned(kWriteAlignment));
    }
    const std::uint64_t end =
        std::uint64_t(start) + std::max<std::uint32_t>(image.imageSize, 1) - 1;
    if (end > last) {
        return formatText("下载文件结束于0x%08llX,超出芯片闪存末地址0x%08X",
                          static_cast<unsigned long long>(end), unsigned(last));
    }
    std::array<std::uint16_t, kMaxPageListSize> pages{};
    const PageListResult list = BuildPageList(geometry, start, image.imageSize, pages);
    if (!list.fitsList) {
        return formatText("下载文件需要擦除%d页,超过%d页的上限", list.pageCount, kMaxPageListSize);
    }
    return {};
}

}  // namespace pellion
