#pragma once

#include <memory>
#include <string>

#include "records/SqlSession.h"

struct sqlite3;

namespace pellion::records {

struct SqliteOptions {
    bool mustExist = false;  // otherwise a missing file is created
    // Every commit waits until it is on disk. Off only for a connection whose commits may be
    // lost to a power cut without harm (the spool's upload marks: a lost mark means a repeated,
    // idempotent upload); the database stays consistent either way.
    bool syncEveryCommit = true;
};

// A connection to an SQLite file in write-ahead mode with full synchronisation: a committed
// transaction survives a crash or a power cut.
class SqliteSession final : public SqlSession {
  public:
    static StoreResult<std::unique_ptr<SqlSession>> open(const std::string& path,
                                                         SqliteOptions options = {});
    ~SqliteSession() override;

    SqlDialect dialect() const override { return SqlDialect::Sqlite; }
    StoreResult<SqlRows> run(std::string_view sql, const std::vector<SqlValue>& params) override;
    StoreResult<> beginWrite() override;
    StoreResult<> lockSchema() override { return Done{}; }  // the write lock covers it
    std::string_view rowLockClause() const override { return ""; }
    std::string_view sequenceKeyType() const override {
        return "INTEGER PRIMARY KEY AUTOINCREMENT";
    }

  private:
    explicit SqliteSession(sqlite3* db) : db_(db) {}
    StoreResult<SqlRows> failure() const;

    sqlite3* db_ = nullptr;
};

}  // namespace pellion::records
