#include "records/RecordId.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <random>

namespace pellion::records {

std::string NewRecordId() {
    // random_device reads the system's entropy source; one draw per 32 bits.
    std::random_device entropy;
    std::array<std::uint8_t, 16> b{};
    for (std::size_t i = 0; i < b.size(); i += 4) {
        const std::uint32_t word = entropy();
        for (std::size_t k = 0; k < 4; ++k)
            b[i + k] = std::uint8_t(word >> (8 * k));
    }
    b[6] = std::uint8_t((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = std::uint8_t((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

}  // namespace pellion::records
