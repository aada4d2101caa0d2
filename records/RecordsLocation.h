#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "records/RecordStore.h"

namespace pellion::records {

// Where records live, as the operator names it: a file path (SQLite) or a PostgreSQL
// connection text ("postgresql://host/db", "postgres://...", "service=NAME",
// "host=... dbname=..."). A path must not begin with "word=": write "./word=..." instead.
struct RecordsLocation {
    enum class Kind { Sqlite, Postgres };
    Kind kind = Kind::Sqlite;
    std::string target;  // the path, or the connection text

    // For messages: the path, or the connection text without its password.
    std::string describe() const;
};

// From the text of --records or the settings item; empty text means the default file.
RecordsLocation RecordsLocationOf(std::string_view text);

// $XDG_DATA_HOME/Pellion/records.sqlite3, or ~/.local/share/Pellion/records.sqlite3 when
// XDG_DATA_HOME is not set to an absolute path.
std::string DefaultRecordsPath();

// Opens the store at `location`. With mustExist an SQLite file that is not there is an error
// instead of a new, empty file.
StoreResult<std::unique_ptr<RecordStore>> OpenRecordStore(const RecordsLocation& location,
                                                          bool mustExist = false);

}  // namespace pellion::records
