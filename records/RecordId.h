#pragma once

#include <string>

namespace pellion::records {

// A random (version 4) UUID in its usual lower-case text form: the identity of one record,
// unique across stations without asking any database.
std::string NewRecordId();

}  // namespace pellion::records
