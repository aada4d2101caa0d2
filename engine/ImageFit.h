#pragma once

#include <string>

#include "catalogue/DeviceCatalogue.h"
#include "engine/OperatorText.h"
#include "image/FirmwareImage.h"

namespace pellion {

// Why `image` cannot be programmed into a chip of `geometry`; no text when it can. The image
// must lie inside the chip's main flash at a word address (or be the 16 option bytes at their
// address) and its pages must fit the erase list.
OperatorText ImageFitIssue(const FirmwareImage& image, const DeviceGeometry& geometry);
// The same in words; empty when it fits.
std::string ImageFitProblem(const FirmwareImage& image, const DeviceGeometry& geometry,
                            OperatorLanguage language = OperatorLanguage::Chinese);

}  // namespace pellion
