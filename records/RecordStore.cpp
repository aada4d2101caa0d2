#include "records/RecordStore.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "records/PostgresSession.h"
#include "records/RecordRow.h"
#include "records/RecordSchema.h"
#include "records/RecordTime.h"
#include "records/SqliteSession.h"

namespace pellion::records {
namespace {

StoreResult<std::vector<ChipRecord>> recordsOf(const SqlRows& rows) {
    std::vector<ChipRecord> out;
    for (const auto& row : rows.rows) {
        auto record = RecordFromRow(row);
        if (!record)
            return record.error();
        out.push_back(std::move(record.value()));
    }
    return out;
}

StoreResult<std::unique_ptr<RecordStore>> migrated(StoreResult<std::unique_ptr<SqlSession>> s) {
    if (!s)
        return s.error();
    auto store = std::make_unique<RecordStore>(std::move(s.value()));
    if (auto schema = MigrateSchema(store->session()); !schema)
        return schema.error();
    return store;
}

}  // namespace

StoreResult<bool> RecordStore::insert(const ChipRecord& record) {
    auto inserted =
        session_->run(std::string("INSERT INTO chip_records (") + kRecordColumns + ") VALUES (" +
                          kRecordPlaceholders + ") ON CONFLICT (record_id) DO NOTHING",
                      RecordParams(record));
    if (!inserted)
        return inserted.error();
    return inserted.value().changed == 1;
}

StoreResult<> RecordStore::put(const ChipRecord& record) {
    if (session_->dialect() == SqlDialect::Postgres)
        return putInOneStatement(record);
    return insertOnce(record, [&]() -> StoreResult<> {
        if (!record.serial)
            return Done{};
        const SerialAllocation held{record.serial->pool, record.serial->number, record.recordId};
        return SettleSerial(*session_, held, record.result == ChipResult::Succeeded);
    });
}

StoreResult<> RecordStore::insertOnce(const ChipRecord& record,
                                      const std::function<StoreResult<>()>& alsoWhenNew) {
    SqlTransaction transaction(*session_);
    if (auto begun = transaction.begin(); !begun)
        return begun;
    auto inserted = insert(record);
    if (!inserted)
        return inserted.error();
    if (inserted.value()) {
        if (auto done = alsoWhenNew(); !done)
            return done;
    }
    return transaction.commit();
}

// On a server each round trip costs more than the work: the record and its serial number's
// settlement go as one statement, atomic by itself. The number is settled only by the insert
// that stored the record, as in the transaction above.
StoreResult<> RecordStore::putInOneStatement(const ChipRecord& record) {
    const bool bound = record.result == ChipResult::Succeeded;
    const std::string settle =
        bound ? "state = 'bound'" : "state = 'free', record_id = NULL, station = NULL";
    const std::string sql =
        std::string("WITH inserted AS (INSERT INTO chip_records (") + kRecordColumns +
        ") VALUES (" + kRecordPlaceholders +
        ") ON CONFLICT (record_id) DO NOTHING RETURNING record_id) UPDATE serial_numbers SET " +
        settle + ", changed_at_ms = " + std::to_string(NowUtcMs()) +
        " WHERE pool = $13 AND number = $14 AND record_id = $1 AND state = 'allocated' "
        "AND EXISTS (SELECT 1 FROM inserted)";
    auto stored = session_->run(sql, RecordParams(record));
    if (!stored)
        return stored.error();
    return Done{};
}

StoreResult<> RecordStore::spool(const ChipRecord& record) {
    return insertOnce(record, [&]() -> StoreResult<> {
        auto queued =
            session_->run("INSERT INTO upload_queue (record_id) VALUES ($1)", {record.recordId});
        if (!queued)
            return queued.error();
        return Done{};
    });
}

StoreResult<std::optional<ChipRecord>> RecordStore::nextToUpload() {
    auto rows = session_->run(std::string("SELECT ") + kRecordColumns +
                              " FROM chip_records WHERE record_id = (SELECT record_id FROM "
                              "upload_queue ORDER BY seq LIMIT 1)");
    if (!rows)
        return rows.error();
    auto records = recordsOf(rows.value());
    if (!records)
        return records.error();
    if (records.value().empty())
        return std::optional<ChipRecord>();
    return std::optional<ChipRecord>(std::move(records.value().front()));
}

StoreResult<> RecordStore::markUploaded(const std::string& recordId) {
    auto removed = session_->run("DELETE FROM upload_queue WHERE record_id = $1", {recordId});
    if (!removed)
        return removed.error();
    return Done{};
}

StoreResult<std::int64_t> RecordStore::waitingCount() {
    auto rows = session_->run("SELECT count(*) FROM upload_queue");
    if (!rows)
        return rows.error();
    return std::stoll(FirstValue(rows.value()).value_or("0"));
}

StoreResult<std::vector<ChipRecord>> RecordStore::find(const RecordQuery& query) {
    std::string sql = std::string("SELECT ") + kRecordColumns + " FROM chip_records WHERE 1 = 1";
    std::vector<SqlValue> params;
    auto narrow = [&](const char* column, const char* op, SqlValue value) {
        params.push_back(std::move(value));
        sql += std::string(" AND ") + column + op + "$" + std::to_string(params.size());
    };
    if (query.sinceMs)
        narrow("started_at_ms", " >= ", *query.sinceMs);
    if (query.uniqueId)
        narrow("unique_id", " = ", *query.uniqueId);
    if (query.port)
        narrow("port", " = ", *query.port);
    // Latest first when only the last few are wanted; turned round below.
    sql += query.last
               ? " ORDER BY started_at_ms DESC, record_id DESC LIMIT " + std::to_string(*query.last)
               : " ORDER BY started_at_ms, record_id";
    auto rows = session_->run(sql, params);
    if (!rows)
        return rows.error();
    auto records = recordsOf(rows.value());
    if (records && query.last)
        std::reverse(records.value().begin(), records.value().end());
    return records;
}

StoreResult<std::unique_ptr<RecordStore>> OpenSqliteStore(const std::string& path,
                                                          SqliteOptions options) {
    if (!options.mustExist) {
        std::error_code ignored;  // a folder that cannot be made shows up as the open's error
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    }
    return migrated(SqliteSession::open(path, options));
}

StoreResult<std::unique_ptr<RecordStore>> OpenPostgresStore(const std::string& connection) {
    return migrated(PostgresSession::open(connection));
}

}  // namespace pellion::records
