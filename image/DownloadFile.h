#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/FirmwareImage.h"
#include "image/ImageResult.h"

namespace pellion {

// Caption of every message the loader gives the operator.
inline constexpr const char* kLoaderCaption = "KT MCU";

enum class DownloadFileKind { Hex, Binary };

// HEX when the path's last three characters, upper-cased, are "HEX"; any other file's bytes
// are the image as they stand.
DownloadFileKind downloadFileKind(std::string_view path);

// The whole file, never creating it. A missing, unreadable or oversized file is refused with
// a message naming it.
ImageResult<std::vector<std::uint8_t>> readDownloadFile(const std::string& path);

// What a run loads: the file named in the download-file box and, for a file that is not HEX,
// the start address from the address box. A HEX file carries its own addresses, so its image
// starts where its data starts whatever the box says. Every refusal is a message for the
// operator; no image is returned then.
ImageResult<FirmwareImage> loadDownloadFile(const std::string& path, std::string_view addressText);
// The same with the start address of a raw image as a number (the command line's, which is
// taken as given, never saturated like the box's text).
ImageResult<FirmwareImage> loadDownloadFile(const std::string& path, std::uint32_t rawStartAddress);

// Checks an image against what a download can do: within 32-bit addresses, and an image that
// touches the option bytes must be exactly the 16 option bytes.
ImageResult<FirmwareImage> checkImagePlacement(FirmwareImage image);

}  // namespace pellion
