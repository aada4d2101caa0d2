#include "sim/LineSpeed.h"

// termios2 carries arbitrary rates; its header cannot share a unit with <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace pellion::sim {

std::optional<std::uint32_t> lineBaudOf(int fd) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0 || settings.c_ospeed == 0)
        return std::nullopt;
    return settings.c_ospeed;
}

}  // namespace pellion::sim
