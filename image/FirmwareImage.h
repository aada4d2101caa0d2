#pragma once

#include <cstdint>
#include <vector>

namespace pellion {

// The bytes every port programs and the flash address of the first one. One image at a time;
// the port slots hold offsets into it (imageCursor) and never copy it.
struct FirmwareImage {
    std::vector<std::uint8_t> imageBytes;
    std::uint32_t imageSize = 0;  // always imageBytes.size()
    std::uint32_t startAddress = 0;

    bool empty() const { return imageSize == 0; }
    void release() {
        imageBytes = {};
        imageSize = 0;
    }
};

}  // namespace pellion
