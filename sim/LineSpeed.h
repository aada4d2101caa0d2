#pragma once

#include <cstdint>
#include <optional>

namespace pellion::sim {

// The baud rate last set on a terminal (any rate, not only the standard ones); none when the
// descriptor is not a terminal. On a pseudo-terminal master this reads the slave's setting,
// which is what the host chose for the line.
std::optional<std::uint32_t> lineBaudOf(int fd);

}  // namespace pellion::sim
