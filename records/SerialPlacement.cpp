#include "records/SerialPlacement.h"

#include <algorithm>
#include <array>

#include "engine/BootloaderCodec.h"
#include "image/FormatText.h"

namespace pellion::records {
namespace {

// The first image byte in [first, last] that is not 0xFF.
std::optional<std::uint32_t> imageDataIn(const FirmwareImage& image, std::uint64_t first,
                                         std::uint64_t last) {
    const std::uint64_t imageEnd = std::uint64_t(image.startAddress) + image.imageSize;
    for (std::uint64_t a = std::max<std::uint64_t>(first, image.startAddress);
         a <= last && a < imageEnd; ++a) {
        if (image.imageBytes[std::size_t(a - image.startAddress)] != 0xFF)
            return std::uint32_t(a);
    }
    return std::nullopt;
}

SerialPlacement refused(std::string problem) {
    SerialPlacement out;
    out.problem = std::move(problem);
    return out;
}

}  // namespace

SerialPlacement PlaceSerialBlock(const FirmwareImage& image, const DeviceGeometry& geometry,
                                 std::uint32_t address, std::uint32_t blockBytes) {
    if (image.startAddress == kOptionBytesAddress)
        return refused("下载文件是选项字节,不能附加序列号");
    if (blockBytes == 0 || blockBytes % kWriteAlignment != 0 || blockBytes > 256)
        return refused(formatText("序列号块长%u字节,应为4的倍数且不超过256", unsigned(blockBytes)));
    if (address % kWriteAlignment != 0) {
        return refused(formatText("序列号地址0x%08X不是%u字节对齐的地址,芯片无法写入",
                                  unsigned(address), unsigned(kWriteAlignment)));
    }
    const std::uint64_t last = std::uint64_t(address) + blockBytes - 1;
    const std::uint32_t flashLast = LastFlashAddress(geometry);
    if (address < kFlashBase || last > flashLast) {
        return refused(formatText("序列号0x%08X-0x%08llX不在芯片闪存范围(0x%08X-0x%08X)内",
                                  unsigned(address), static_cast<unsigned long long>(last),
                                  unsigned(kFlashBase), unsigned(flashLast)));
    }
    if (auto clash = imageDataIn(image, address, last)) {
        return refused(formatText("序列号0x%08X-0x%08llX与下载文件重叠(0x%08X处有数据)",
                                  unsigned(address), static_cast<unsigned long long>(last),
                                  unsigned(*clash)));
    }

    std::array<std::uint16_t, kMaxPageListSize> imagePages{};
    const PageListResult list =
        BuildPageList(geometry, image.startAddress, image.imageSize, imagePages);
    const std::uint32_t firstImagePage = PageOfAddress(geometry, image.startAddress);
    const std::uint32_t lastImagePage = firstImagePage + std::uint32_t(list.pageCount) - 1;
    SerialPlacement out;
    for (std::uint32_t page = PageOfAddress(geometry, address);
         page <= PageOfAddress(geometry, std::uint32_t(last)); ++page) {
        if (page >= firstImagePage && page <= lastImagePage)
            continue;
        if (geometry.eraseMode == 0 && page > 0xFF) {
            return refused(
                formatText("序列号所在的第%u页超出该芯片擦除命令能指定的页号", unsigned(page)));
        }
        out.extraPages.push_back(std::uint16_t(page));
    }
    if (list.pageCount + int(out.extraPages.size()) > kMaxPageListSize) {
        return refused(formatText("下载文件和序列号需要擦除%d页,超过%d页的上限",
                                  list.pageCount + int(out.extraPages.size()), kMaxPageListSize));
    }
    return out;
}

}  // namespace pellion::records
