#include "records/RecordSchema.h"

#include <array>
#include <string>

#include "image/FormatText.h"

namespace pellion::records {
namespace {

// Each step takes the schema from the version before it to its own. "{sequence_key}" stands
// for the dialect's self-numbering key type.
constexpr std::array<const char*, kSchemaVersion> kSteps{
    // 1: the first schema, records only.
    R"(CREATE TABLE chip_records (
         record_id TEXT PRIMARY KEY,
         station TEXT NOT NULL,
         port TEXT NOT NULL,
         unique_id TEXT,
         device_code TEXT NOT NULL,
         part_name TEXT NOT NULL,
         image_path TEXT NOT NULL,
         image_start BIGINT NOT NULL,
         image_size BIGINT NOT NULL,
         image_crc32 BIGINT NOT NULL,
         verify INTEGER NOT NULL,
         protect INTEGER NOT NULL,
         result TEXT NOT NULL,
         failed_step TEXT NOT NULL,
         remark TEXT NOT NULL,
         started_at_ms BIGINT NOT NULL,
         ended_at_ms BIGINT NOT NULL,
         duration_ms BIGINT NOT NULL,
         tool_version TEXT NOT NULL);
       CREATE INDEX chip_records_started ON chip_records (started_at_ms))",

    // 2: where the chip sat, why it has no unique ID, boot entry, serial numbers, the spool.
    R"(ALTER TABLE chip_records ADD COLUMN usb_location TEXT NOT NULL DEFAULT '';
       ALTER TABLE chip_records ADD COLUMN unique_id_missing TEXT NOT NULL DEFAULT '';
       ALTER TABLE chip_records ADD COLUMN boot_entry TEXT NOT NULL DEFAULT '';
       ALTER TABLE chip_records ADD COLUMN serial_pool TEXT;
       ALTER TABLE chip_records ADD COLUMN serial_number BIGINT;
       UPDATE chip_records SET unique_id = '' WHERE unique_id IS NULL;
       UPDATE chip_records SET unique_id_missing = 'not_recorded' WHERE unique_id = '';
       CREATE INDEX chip_records_unique_id ON chip_records (unique_id);
       CREATE TABLE serial_pools (
         name TEXT PRIMARY KEY,
         start_number BIGINT NOT NULL,
         next_number BIGINT NOT NULL);
       CREATE TABLE serial_numbers (
         pool TEXT NOT NULL REFERENCES serial_pools (name),
         number BIGINT NOT NULL,
         state TEXT NOT NULL,
         record_id TEXT,
         station TEXT,
         changed_at_ms BIGINT NOT NULL,
         PRIMARY KEY (pool, number));
       CREATE INDEX serial_numbers_holder ON serial_numbers (pool, record_id);
       CREATE TABLE upload_queue (
         seq {sequence_key},
         record_id TEXT NOT NULL UNIQUE REFERENCES chip_records (record_id)))",
};

std::string withDialect(std::string script, const SqlSession& session) {
    const std::string token = "{sequence_key}";
    for (auto at = script.find(token); at != std::string::npos; at = script.find(token))
        script.replace(at, token.size(), session.sequenceKeyType());
    return script;
}

StoreResult<int> readVersion(SqlSession& session) {
    auto rows = session.run("SELECT max(version) FROM schema_version");
    if (!rows)
        return rows.error();
    const auto value = FirstValue(rows.value());
    return value ? std::stoi(*value) : 0;
}

}  // namespace

StoreResult<int> SchemaVersionOf(SqlSession& session) {
    auto exists =
        session.run("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
    if (!exists)
        return exists.error();
    return readVersion(session);
}

StoreResult<> MigrateSchema(SqlSession& session, int target) {
    SqlTransaction transaction(session);
    if (auto begun = transaction.begin(); !begun)
        return begun;
    if (auto locked = session.lockSchema(); !locked)
        return locked;
    auto version = SchemaVersionOf(session);
    if (!version)
        return version.error();
    const int from = version.value();
    if (from > kSchemaVersion) {
        return StoreResult<>::failure(
            formatText("记录数据库的结构版本为%d,本程序只认识到版本%d,请使用更新的版本", from,
                       kSchemaVersion));
    }
    if (from >= target)
        return Done{};
    for (int step = from + 1; step <= target; ++step) {
        auto migrated = session.run(withDialect(kSteps[step - 1], session));
        if (!migrated)
            return migrated.error();
    }
    auto stamped = session.run("DELETE FROM schema_version; INSERT INTO schema_version VALUES (" +
                               std::to_string(target) + ")");
    if (!stamped)
        return stamped.error();
    return transaction.commit();
}

}  // namespace pellion::records
