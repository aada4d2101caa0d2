#include "records/SqliteSession.h"

#include <sqlite3.h>

#include "image/FormatText.h"

namespace pellion::records {
namespace {

// A busy database (another process writing) is waited for this long before giving up.
constexpr int kBusyTimeoutMs = 10000;

StoreResult<> bindAll(sqlite3_stmt* statement, const std::vector<SqlValue>& params) {
    for (std::size_t i = 0; i < params.size(); ++i) {
        const std::string name = "$" + std::to_string(i + 1);
        const int index = sqlite3_bind_parameter_index(statement, name.c_str());
        if (index == 0)
            continue;  // not used by this statement of a script
        int rc = SQLITE_OK;
        if (const auto* number = std::get_if<std::int64_t>(&params[i])) {
            rc = sqlite3_bind_int64(statement, index, *number);
        } else if (const auto* text = std::get_if<std::string>(&params[i])) {
            rc = sqlite3_bind_text(statement, index, text->data(), int(text->size()),
                                   SQLITE_TRANSIENT);
        } else {
            rc = sqlite3_bind_null(statement, index);
        }
        if (rc != SQLITE_OK)
            return StoreResult<>::failure(sqlite3_errstr(rc));
    }
    return Done{};
}

void appendRow(sqlite3_stmt* statement, SqlRows& out) {
    const int columns = sqlite3_column_count(statement);
    auto& row = out.rows.emplace_back();
    for (int c = 0; c < columns; ++c) {
        if (sqlite3_column_type(statement, c) == SQLITE_NULL) {
            row.emplace_back();
        } else {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
            row.emplace_back(std::string(text, std::size_t(sqlite3_column_bytes(statement, c))));
        }
    }
}

}  // namespace

StoreResult<std::unique_ptr<SqlSession>> SqliteSession::open(const std::string& path,
                                                             SqliteOptions options) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (options.mustExist ? 0 : SQLITE_OPEN_CREATE);
    const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string reason = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        return StoreError{StoreErrorKind::Failed,
                          formatText("无法打开记录数据库%s: %s", path.c_str(), reason.c_str())};
    }
    std::unique_ptr<SqliteSession> session(new SqliteSession(db));
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    auto pragmas = session->run(
        std::string("PRAGMA journal_mode=WAL; PRAGMA foreign_keys=ON; ") +
            (options.syncEveryCommit ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL"),
        {});
    if (!pragmas) {
        return StoreError{
            StoreErrorKind::Failed,
            formatText("无法打开记录数据库%s: %s", path.c_str(), pragmas.error().message.c_str())};
    }
    return std::unique_ptr<SqlSession>(std::move(session));
}

SqliteSession::~SqliteSession() {
    sqlite3_close(db_);
}

StoreResult<SqlRows> SqliteSession::failure() const {
    return StoreResult<SqlRows>::failure(formatText("记录数据库出错: %s", sqlite3_errmsg(db_)));
}

StoreResult<SqlRows> SqliteSession::run(std::string_view sql, const std::vector<SqlValue>& params) {
    SqlRows out;
    const char* next = sql.data();
    const char* end = sql.data() + sql.size();
    while (next < end) {
        sqlite3_stmt* statement = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db_, next, int(end - next), &statement, &tail) != SQLITE_OK)
            return failure();
        next = tail;
        if (statement == nullptr)
            continue;  // only white space or a comment was left
        auto bound = bindAll(statement, params);
        if (!bound) {
            sqlite3_finalize(statement);
            return bound.error();
        }
        int rc = SQLITE_ROW;
        SqlRows rows;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
            appendRow(statement, rows);
        if (rc != SQLITE_DONE) {
            auto failed = failure();
            sqlite3_finalize(statement);
            return failed;
        }
        sqlite3_finalize(statement);
        rows.changed = sqlite3_changes64(db_);
        out = std::move(rows);
    }
    return out;
}

StoreResult<> SqliteSession::beginWrite() {
    auto begun = run("BEGIN IMMEDIATE", {});
    if (!begun)
        return begun.error();
    return Done{};
}

}  // namespace pellion::records
