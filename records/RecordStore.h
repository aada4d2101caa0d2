#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "records/ChipRecord.h"
#include "records/SerialPool.h"
#include "records/SqlSession.h"
#include "records/SqliteSession.h"

namespace pellion::records {

// Which records to list. Every field narrows the list; none lists everything.
struct RecordQuery {
    std::optional<std::int64_t> sinceMs{};  // started at or after (UTC ms)
    std::optional<std::string> uniqueId{};  // 24 upper-case hex digits
    std::optional<std::string> port{};
    std::optional<std::size_t> last{};  // only the latest so many
};

// The records database, SQLite or PostgreSQL alike: chip records, serial-number pools and the
// local spool's upload queue. Synchronous: each call is one transaction (or one read) and waits
// for the database, so it belongs on a worker thread (RecordService), the command line or a
// test, never on the engine's owner thread.
class RecordStore {
  public:
    explicit RecordStore(std::unique_ptr<SqlSession> session) : session_(std::move(session)) {}

    // Stores a record once (a second put of the same record id changes nothing) and, with the
    // insert that stores it, binds its serial number when the chip succeeded or gives it back
    // to the pool otherwise.
    StoreResult<> put(const ChipRecord& record);
    // Stores a record and queues it for upload, in one transaction; its serial number is left
    // to the database it is uploaded to.
    StoreResult<> spool(const ChipRecord& record);
    // The oldest record waiting for upload.
    StoreResult<std::optional<ChipRecord>> nextToUpload();
    StoreResult<> markUploaded(const std::string& recordId);
    StoreResult<std::int64_t> waitingCount();

    // Oldest first.
    StoreResult<std::vector<ChipRecord>> find(const RecordQuery& query);

    StoreResult<SerialAllocation> allocateSerial(const SerialRequest& request) {
        return AllocateSerial(*session_, request);
    }
    StoreResult<> releaseSerial(const SerialAllocation& allocation) {
        return ReleaseSerial(*session_, allocation);
    }
    StoreResult<std::vector<SerialNumberState>> serialNumbers(const std::string& pool) {
        return ListSerialNumbers(*session_, pool);
    }

    SqlSession& session() { return *session_; }

  private:
    StoreResult<bool> insert(const ChipRecord& record);
    // One transaction: the record unless it is there already, and when it is new, the rest.
    StoreResult<> insertOnce(const ChipRecord& record,
                             const std::function<StoreResult<>()>& alsoWhenNew);
    StoreResult<> putInOneStatement(const ChipRecord& record);

    std::unique_ptr<SqlSession> session_;
};

// Opens an SQLite records file and brings its schema up to date; a new file's folder is made.
StoreResult<std::unique_ptr<RecordStore>> OpenSqliteStore(const std::string& path,
                                                          SqliteOptions options = {});
// Connects to a PostgreSQL database (a libpq connection text) and brings its schema up to date.
StoreResult<std::unique_ptr<RecordStore>> OpenPostgresStore(const std::string& connection);

}  // namespace pellion::records
