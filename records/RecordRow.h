#pragma once

#include <vector>

#include "records/ChipRecord.h"
#include "records/SqlSession.h"

namespace pellion::records {

// The columns of chip_records in the order RecordParams and RecordFromRow use.
extern const char* const kRecordColumns;
// "$1, $2, ..." for every column.
extern const char* const kRecordPlaceholders;

std::vector<SqlValue> RecordParams(const ChipRecord& record);
StoreResult<ChipRecord> RecordFromRow(const std::vector<std::optional<std::string>>& row);

}  // namespace pellion::records
