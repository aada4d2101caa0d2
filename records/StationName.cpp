#include "records/StationName.h"

#include <unistd.h>

#include <array>

namespace pellion::records {

std::string StationName() {
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0')
        return "station";
    return name.data();
}

}  // namespace pellion::records
