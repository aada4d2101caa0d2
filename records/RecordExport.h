#pragma once

#include <string>
#include <vector>

#include "records/ChipRecord.h"

namespace pellion::records {

// The version of the JSON export's layout; raised whenever a field changes meaning or goes.
inline constexpr int kRecordsJsonVersion = 1;

// CSV (RFC 4180): a header row of field names, one row per record, CR LF line ends, UTF-8;
// fields holding a comma, a quote or a line break are quoted with quotes doubled.
std::string RecordsCsv(const std::vector<ChipRecord>& records);
// {"format": "pellion-records", "version": 1, "records": [{...}, ...]} with the same field
// names; absent values are null.
std::string RecordsJson(const std::vector<ChipRecord>& records);

}  // namespace pellion::records
