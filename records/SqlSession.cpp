#include "records/SqlSession.h"

namespace pellion::records {

std::optional<std::string> FirstValue(const SqlRows& rows) {
    if (rows.rows.empty() || rows.rows.front().empty())
        return std::nullopt;
    return rows.rows.front().front();
}

}  // namespace pellion::records
