#include "image/DownloadFile.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "engine/OperatorText.h"
#include "image/AddressText.h"
#include "image/HexImage.h"

namespace pellion {
namespace {

// A HEX text holds at most a 3 MiB image; even with one-byte records (13 characters a byte)
// it stays below this.
constexpr std::uintmax_t kMaxHexTextBytes = 64u * 1024u * 1024u;

OperatorText aboutFile(TextId id, const std::string& path) {
    return OperatorText(id).with("path", path);
}

OperatorText tooLarge(const std::string& path) {
    return aboutFile(downloadFileKind(path) == DownloadFileKind::Hex ? TextId::HexFileTooLarge
                                                                     : TextId::FileTooLarge,
                     path);
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
        return Result::failure(aboutFile(TextId::FileMissing, path));
    }
    // Only a plain file: a pipe would block the owner thread, a device could read forever.
    if (ec || !fs::is_regular_file(status)) {
        return Result::failure(aboutFile(TextId::FileUnreadable, path));
    }
    std::uintmax_t limit =
        downloadFileKind(path) == DownloadFileKind::Hex ? kMaxHexTextBytes : kMaxImageSpan;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return Result::failure(aboutFile(TextId::FileUnreadable, path));

    std::vector<std::uint8_t> bytes;
    std::uintmax_t expected = fs::file_size(path, ec);
    if (!ec && expected <= limit)
        bytes.reserve(static_cast<std::size_t>(expected));
    std::uint8_t chunk[65536];
    for (;;) {
        std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > limit)
            return Result::failure(tooLarge(path));
        if (got < sizeof chunk)
            break;
    }
    if (std::ferror(file.get())) {
        return Result::failure(aboutFile(TextId::FileUnreadable, path));
    }
    return Result::success(std::move(bytes));
}

ImageResult<FirmwareImage> checkImagePlacement(FirmwareImage image) {
    using Result = ImageResult<FirmwareImage>;
    std::uint64_t end = std::uint64_t{image.startAddress} + image.imageSize;
    if (end > (1ull << 32)) {
        return Result::failure(OperatorText(TextId::ImageBeyondAddressRange)
                                   .with("start", HexAddress(image.startAddress))
                                   .with("size", std::to_string(image.imageSize)));
    }
    bool touchesOptionBytes =
        image.startAddress < kOptionBytesAddress + kOptionBytesSize && end > kOptionBytesAddress;
    bool exactlyOptionBytes =
        image.startAddress == kOptionBytesAddress && image.imageSize == kOptionBytesSize;
    if (touchesOptionBytes && !exactlyOptionBytes) {
        return Result::failure(OperatorText(TextId::OptionBytesPlacement)
                                   .with("address", HexAddress(kOptionBytesAddress))
                                   .with("size", std::to_string(kOptionBytesSize))
                                   .with("start", HexAddress(image.startAddress))
                                   .with("given", std::to_string(image.imageSize)));
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
        return Result::failure(OperatorText(TextId::NoFileChosen));
    auto content = readDownloadFile(path);
    if (!content)
        return Result::failure(content.why());
    if (content.value().empty())
        return Result::failure(OperatorText(TextId::FileEmpty));

    if (downloadFileKind(path) == DownloadFileKind::Hex) {
        const auto& text = content.value();
        auto image =
            hexToImage(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
        if (!image)
            return Result::failure(image.why());
        return checkImagePlacement(std::move(image.value()));
    }
    FirmwareImage image;
    image.imageBytes = std::move(content.value());
    image.imageSize = static_cast<std::uint32_t>(image.imageBytes.size());
    image.startAddress = rawStartAddress;
    return checkImagePlacement(std::move(image));
}

}  // namespace pellion
