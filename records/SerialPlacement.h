#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "image/FirmwareImage.h"

namespace pellion::records {

// Where a serial block may go, for a run that programs `image` into chips of `geometry`.
struct SerialPlacement {
    std::string problem;  // why the run must be refused, in the operator's words; empty: fine
    // Pages the block lies in that the image's erase does not cover: the run erases them too
    // (before writing the image) and writes the block after the image.
    std::vector<std::uint16_t> extraPages;

    bool ok() const { return problem.empty(); }
};

// The block of `blockBytes` (a whole number of words; LongestSerialBlock for formats whose
// length varies) at `address` must be word-aligned, lie in the chip's main flash, touch only
// image bytes that are 0xFF, and its pages must be erasable with the image's in one erase list.
SerialPlacement PlaceSerialBlock(const FirmwareImage& image, const DeviceGeometry& geometry,
                                 std::uint32_t address, std::uint32_t blockBytes);

}  // namespace pellion::records
