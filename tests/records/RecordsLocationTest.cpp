#include <gtest/gtest.h>

#include <cstdlib>

#include "records/PostgresSession.h"
#include "records/RecordService.h"
#include "records/RecordsLocation.h"

namespace pellion::records {
namespace {

TEST(RecordsLocationTest, TellsFilesFromConnectionsAndKeepsPasswordsOutOfMessages) {
    setenv("XDG_DATA_HOME", "/srv/data", 1);
    EXPECT_EQ(RecordsLocationOf("").target, "/srv/data/Pellion/records.sqlite3");
    setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored, as the standard says
    setenv("HOME", "/home/op", 1);
    EXPECT_EQ(DefaultRecordsPath(), "/home/op/.local/share/Pellion/records.sqlite3");

    using Kind = RecordsLocation::Kind;
    EXPECT_EQ(RecordsLocationOf("postgresql://db.line/records").kind, Kind::Postgres);
    EXPECT_EQ(RecordsLocationOf("postgres://db/records").kind, Kind::Postgres);
    EXPECT_EQ(RecordsLocationOf("service=line2").kind, Kind::Postgres);
    EXPECT_EQ(RecordsLocationOf("host=db dbname=records").kind, Kind::Postgres);
    EXPECT_EQ(RecordsLocationOf("./a=b.sqlite3").kind, Kind::Sqlite);
    EXPECT_EQ(RecordsLocationOf("/data/records.sqlite3").kind, Kind::Sqlite);

    const auto shared = ServiceConfigFor(RecordsLocationOf("service=line2"));
    EXPECT_EQ(shared.shared, std::optional<std::string>("service=line2"));
    EXPECT_EQ(shared.localPath, DefaultRecordsPath());  // the spool
    EXPECT_FALSE(ServiceConfigFor(RecordsLocationOf("/x.sqlite3")).shared.has_value());

    EXPECT_EQ(RedactedConnection("postgresql://op:s3cret@db/records"),
              "postgresql://op:***@db/records");
    EXPECT_EQ(RedactedConnection("host=db password='a b' user=op"), "host=db password=*** user=op");
    EXPECT_EQ(RecordsLocationOf("postgresql://db/r?password=s3cret").describe().find("s3cret"),
              std::string::npos);
}

}  // namespace
}  // namespace pellion::records
