#pragma once

#include <memory>
#include <string>

#include "records/PostgresSession.h"
#include "records/RecordStore.h"
#include "records/SqliteSession.h"
#include "support/PostgresCluster.h"
#include "support/TempDirectory.h"

namespace pellion::test {

enum class Backend { Sqlite, Postgres };

inline std::string backendName(const testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::Sqlite ? "Sqlite" : "Postgres";
}

// Fresh, empty records databases of one kind: files in a temporary directory, or databases on
// a throw-away PostgreSQL server of this test's own.
class TestDatabases {
  public:
    explicit TestDatabases(Backend backend) : backend_(backend) {
        if (backend == Backend::Postgres)
            cluster_ = std::make_unique<PostgresCluster>();
    }

    std::string error() const { return cluster_ ? cluster_->error() : std::string(); }
    PostgresCluster* cluster() { return cluster_.get(); }

    // Where a new, empty database is: a file path or a connection text.
    std::string fresh() {
        if (cluster_)
            return cluster_->createDatabase();
        return directory_.file("records" + std::to_string(++files_) + ".sqlite3");
    }
    // A bare connection, schema untouched.
    records::StoreResult<std::unique_ptr<records::SqlSession>> connect(const std::string& where) {
        if (backend_ == Backend::Postgres)
            return records::PostgresSession::open(where);
        return records::SqliteSession::open(where);
    }
    records::StoreResult<std::unique_ptr<records::RecordStore>> open(const std::string& where) {
        if (backend_ == Backend::Postgres)
            return records::OpenPostgresStore(where);
        return records::OpenSqliteStore(where);
    }

  private:
    Backend backend_;
    TempDirectory directory_;
    std::unique_ptr<PostgresCluster> cluster_;
    int files_ = 0;
};

}  // namespace pellion::test
