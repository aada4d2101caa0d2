#include "engine/HelperImage.h"

#include <cstddef>

#include "helper/HelperProtocol.h"

namespace pellion {

namespace detail {
extern const std::uint8_t kHelperImageData[];
extern const std::size_t kHelperImageSize;
}  // namespace detail

namespace {

void putLe32(std::vector<std::uint8_t>& image, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        image[offset + std::size_t(i)] = std::uint8_t(value >> (8 * i));
}

}  // namespace

bool HelperAvailable() {
    return detail::kHelperImageSize > HELPER_PARAM_FLAGS_OFFSET;
}

std::span<const std::uint8_t> HelperImageAsBuilt() {
    return {detail::kHelperImageData, detail::kHelperImageSize};
}

std::vector<std::uint8_t> HelperImageFor(std::uint32_t baud, bool usePll) {
    if (!HelperAvailable())
        return {};
    const auto built = HelperImageAsBuilt();
    std::vector<std::uint8_t> image(built.begin(), built.end());
    image.resize((image.size() + 3) / 4 * 4, 0xFF);
    putLe32(image, HELPER_PARAM_BAUD_OFFSET, baud);
    putLe32(image, HELPER_PARAM_FLAGS_OFFSET, usePll ? HELPER_FLAG_PLL : 0u);
    return image;
}

}  // namespace pellion
