#pragma once

#include <memory>
#include <string>

#include "records/SqlSession.h"

struct pg_conn;

namespace pellion::records {

// A connection to a PostgreSQL database through libpq. Every wait is bounded: the connection
// attempt by a time-out, a silent server by TCP keep-alives, so a vanished server ends any
// call with an Unreachable error within seconds.
class PostgresSession final : public SqlSession {
  public:
    // `connection` is anything libpq takes: "postgresql://host/db", "service=NAME",
    // "host=... dbname=...", or empty for its environment variables. Passwords come from
    // libpq's own password file, never from our settings.
    static StoreResult<std::unique_ptr<SqlSession>> open(const std::string& connection);
    ~PostgresSession() override;

    SqlDialect dialect() const override { return SqlDialect::Postgres; }
    StoreResult<SqlRows> run(std::string_view sql, const std::vector<SqlValue>& params) override;
    StoreResult<> beginWrite() override;
    StoreResult<> lockSchema() override;
    std::string_view rowLockClause() const override { return " FOR UPDATE"; }
    std::string_view sequenceKeyType() const override { return "BIGSERIAL PRIMARY KEY"; }

  private:
    explicit PostgresSession(pg_conn* connection) : connection_(connection) {}

    pg_conn* connection_ = nullptr;
};

// The connection text with any password taken out, fit for a message or a log.
std::string RedactedConnection(const std::string& connection);

}  // namespace pellion::records
