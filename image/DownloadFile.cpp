#include "image/DownloadFile.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "image/AddressText.h"
#include "image/FormatText.h"
#include "image/HexImage.h"

namespace pellion {
namespace {

// A HEX text holds at most a 3 MiB image; even with one-byte records (13 characters a byte)
// it stays below this.
constexpr std::uintmax_t kMaxHexTextBytes = 64u * 1024u * 1024u;

std::string tooLargeText(const std::string& path) {
    if (downloadFileKind(path) == DownloadFileKind::Hex) {
        return formatText("下载文件%s太大,不是有效的HEX文件!", path.c_str());
    }
    return formatText("下载文件%s太大,超过最大闪存容量3072KB!", path.c_str());
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

DownloadFileKind downloadFileKind(std::string_view path) {
    std::string_view tail = path.size() > 3 ? path.substr(path.size() - 3) : path;
    if (tail.size() != 3)
        return DownloadFileKind::Binary;
    for (std::size_t i = 0; i < 3; ++i) {
        char c = tail[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != "HEX"[i])
            return DownloadFileKind::Binary;
    }
    return DownloadFileKind::Hex;
}

ImageResult<std::vector<std::uint8_t>> readDownloadFile(const std::string& path) {
    using Result = ImageResult<std::vector<std::uint8_t>>;
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        return Result::failure(formatText("下载文件%s不存在!", path.c_str()));
    }
    // Only a plain file: a pipe would block the owner thread, a device could read forever.
    if (ec || !fs::is_regular_file(status)) {
        return Result::failure(formatText("无法读取下载文件%s!", path.c_str()));
    }
    std::uintmax_t limit =
        downloadFileKind(path) == DownloadFileKind::Hex ? kMaxHexTextBytes : kMaxImageSpan;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return Result::failure(formatText("无法读取下载文件%s!", path.c_str()));

    std::vector<std::uint8_t> bytes;
    std::uintmax_t expected = fs::file_size(path, ec);
    if (!ec && expected <= limit)
        bytes.reserve(static_cast<std::size_t>(expected));
    std::uint8_t chunk[65536];
    for (;;) {
        std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > limit)
            return Result::failure(tooLargeText(path));
        if (got < sizeof chunk)
            break;
    }
    if (std::ferror(file.get())) {
        return Result::failure(formatText("无法读取下载文件%s!", path.c_str()));
    }
    return Result::success(std::move(bytes));
}

ImageResult<FirmwareImage> checkImagePlacement(FirmwareImage image) {
    using Result = ImageResult<FirmwareImage>;
    std::uint64_t end = std::uint64_t{image.startAddress} + image.imageSize;
    if (end > (1ull << 32)) {
        return Result::failure(formatText("下载地址0x%08X加上文件大小%u字节超出地址范围!",
                                          image.startAddress, image.imageSize));
    }
    bool touchesOptionBytes =
        image.startAddress < kOptionBytesAddress + kOptionBytesSize && end > kOptionBytesAddress;
    bool exactlyOptionBytes =
        image.startAddress == kOptionBytesAddress && image.imageSize == kOptionBytesSize;
    if (touchesOptionBytes && !exactlyOptionBytes) {
        return Result::failure(
            formatText("选项字节文件必须从0x%08X开始,正好%u字节(现在从0x%08X开始,共%u字节)!",
                       kOptionBytesAddress, kOptionBytesSize, image.startAddress, image.imageSize));
    }
    return Result::success(std::move(image));
}

ImageResult<FirmwareImage> loadDownloadFile(const std::string& path, std::string_view addressText) {
    return loadDownloadFile(path, parseAddressText(addressText));
}

ImageResult<FirmwareImage> loadDownloadFile(const std::string& path,
                                            std::uint32_t rawStartAddress) {
    using Result = ImageResult<FirmwareImage>;
    if (path.empty())
        return Result::failure("请选择下载文件!");
    auto content = readDownloadFile(path);
    if (!content)
        return Result::failure(content.error());
    if (content.value().empty())
        return Result::failure("您选择的下载文件为空文件!");

    if (downloadFileKind(path) == DownloadFileKind::Hex) {
        const auto& text = content.value();
        auto image =
            hexToImage(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
        if (!image)
            return Result::failure(image.error());
        return checkImagePlacement(std::move(image.value()));
    }
    FirmwareImage image;
    image.imageBytes = std::move(content.value());
    image.imageSize = static_cast<std::uint32_t>(image.imageBytes.size());
    image.startAddress = rawStartAddress;
    return checkImagePlacement(std::move(image));
}

}  // namespace pellion
