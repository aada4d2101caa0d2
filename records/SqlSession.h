#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "records/StoreResult.h"

namespace pellion::records {

// A statement parameter: NULL, an integer or a text.
using SqlValue = std::variant<std::monostate, std::int64_t, std::string>;

// What a statement returned: its rows as texts (none for NULL) and how many rows it changed.
struct SqlRows {
    std::vector<std::vector<std::optional<std::string>>> rows;
    std::int64_t changed = 0;
};

enum class SqlDialect { Sqlite, Postgres };

// One connection to a records database. The store's SQL is written once, over this interface,
// for both databases; parameters are $1, $2, ... in both. Used by one thread at a time.
class SqlSession {
  public:
    virtual ~SqlSession() = default;

    virtual SqlDialect dialect() const = 0;
    // Runs the statement (several, separated by semicolons, when there are no parameters).
    virtual StoreResult<SqlRows> run(std::string_view sql,
                                     const std::vector<SqlValue>& params = {}) = 0;
    // Starts a transaction that will write; on SQLite it takes the write lock at once, so two
    // writers wait for each other instead of failing half-way.
    virtual StoreResult<> beginWrite() = 0;
    // Serialises schema changes of every process on this database until the transaction ends.
    virtual StoreResult<> lockSchema() = 0;
    // What a SELECT appends to lock the rows it reads until the transaction ends.
    virtual std::string_view rowLockClause() const = 0;
    // The column type of an integer key that numbers rows in insertion order.
    virtual std::string_view sequenceKeyType() const = 0;
};

// A transaction that is rolled back unless committed.
class SqlTransaction {
  public:
    explicit SqlTransaction(SqlSession& session) : session_(session) {}
    ~SqlTransaction() {
        if (open_)
            session_.run("ROLLBACK");
    }
    SqlTransaction(const SqlTransaction&) = delete;
    SqlTransaction& operator=(const SqlTransaction&) = delete;

    StoreResult<> begin() {
        auto begun = session_.beginWrite();
        open_ = begun.ok();
        return begun;
    }
    StoreResult<> commit() {
        open_ = false;
        auto done = session_.run("COMMIT");
        if (!done)
            return done.error();
        return Done{};
    }

  private:
    SqlSession& session_;
    bool open_ = false;
};

// The first column of the first row, when there is one and it is not NULL.
std::optional<std::string> FirstValue(const SqlRows& rows);

}  // namespace pellion::records
