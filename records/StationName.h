#pragma once

#include <string>

namespace pellion::records {

// The name a record gives this station unless told otherwise: the host name ("station" when
// the system has none).
std::string StationName();

}  // namespace pellion::records
