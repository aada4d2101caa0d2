#pragma once

#include "records/SqlSession.h"

namespace pellion::records {

// The schema this build writes. Version 1 (records only) was the first; version 2 added the
// USB location, the reason for a missing unique ID, the boot entry, serial numbers and their
// pools, and the upload queue of the local spool.
inline constexpr int kSchemaVersion = 2;

// The database's schema version; 0 when it has none yet.
StoreResult<int> SchemaVersionOf(SqlSession& session);

// Creates the schema or migrates it, step by step, up to `target` (older targets exist for the
// tests that build an old database), in one transaction that every other process waits for.
// Refuses a database whose schema is newer than this build knows.
StoreResult<> MigrateSchema(SqlSession& session, int target = kSchemaVersion);

}  // namespace pellion::records
