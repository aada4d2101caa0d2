#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>

#include "cli/CliRun.h"
#include "records/RecordExport.h"
#include "records/RecordStore.h"
#include "records/RecordsLocation.h"
#include "support/PostgresCluster.h"
#include "support/SampleRecords.h"
#include "support/TempDirectory.h"

namespace pellion {
namespace {

using records::ChipRecord;

// Three chips: one with every field, one refused before its unique ID was read, one failed.
std::vector<ChipRecord> threeChips() {
    std::vector<ChipRecord> chips{test::sampleRecord(1), test::sampleRecord(2),
                                  test::sampleRecord(3)};
    chips[1].uniqueId.clear();
    chips[1].uniqueIdMissing = "read_protected";
    chips[1].serial.reset();
    chips[1].options.bootEntry.clear();
    chips[1].result = records::ChipResult::Refused;
    chips[2].result = records::ChipResult::Failed;
    chips[2].failedStep = records::ChipStep::Verify;
    return chips;
}

void storeAll(records::RecordStore& store, const std::vector<ChipRecord>& chips) {
    for (const auto& c : chips)
        ASSERT_TRUE(store.put(c).ok());
}

// The rows of RFC 4180 text, fields unquoted.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                rows.back().back() += text[++i];
            else if (c == '"')
                quoted = false;
            else
                rows.back().back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            rows.emplace_back(1);
        } else {
            rows.back().back() += c;
        }
    }
    rows.pop_back();  // after the last line end
    return rows;
}

TEST(RecordsCommandTest, ListsAndExportsTheRecordsOfAFile) {
    test::TempDirectory directory;
    const std::string file = directory.file("records.sqlite3");
    const auto chips = threeChips();
    storeAll(*records::OpenSqliteStore(file).value(), chips);

    auto csv = test::runCli({"records", "--records", file, "--csv"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    const auto rows = parseCsv(csv.out);
    ASSERT_EQ(rows.size(), 4u) << csv.out;
    EXPECT_EQ(rows[0].front(), "recordId");
    EXPECT_EQ(rows[0].size(), 24u);
    for (const auto& row : rows)
        EXPECT_EQ(row.size(), rows[0].size());
    auto column = [&](const char* name) {
        return std::size_t(std::find(rows[0].begin(), rows[0].end(), name) - rows[0].begin());
    };
    EXPECT_EQ(rows[1][column("remark")], chips[0].remark);  // comma, quotes, line break
    EXPECT_EQ(rows[1][column("imageStart")], "0x08000000");
    EXPECT_EQ(rows[1][column("serialNumber")], "1001");
    EXPECT_EQ(rows[2][column("serialNumber")], "");
    EXPECT_EQ(rows[2][column("uniqueIdMissing")], "read_protected");
    EXPECT_EQ(rows[3][column("result")], "failed");
    EXPECT_EQ(rows[3][column("failedStep")], "verify");
    EXPECT_EQ(rows[3][column("startedAt")], "2024-05-01T08:03:00.000Z");

    auto json = test::runCli({"records", "--records", file, "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const auto document = nlohmann::json::parse(json.out);
    EXPECT_EQ(document["format"], "pellion-records");
    EXPECT_EQ(document["version"], records::kRecordsJsonVersion);
    ASSERT_EQ(document["records"].size(), 3u);
    const auto& first = document["records"][0];
    EXPECT_EQ(first["recordId"], chips[0].recordId);
    EXPECT_EQ(first["remark"], chips[0].remark);
    EXPECT_EQ(first["serialPool"], "PLN");
    EXPECT_EQ(first["verify"], true);
    EXPECT_EQ(first["imageSize"], 65537);
    EXPECT_EQ(first["imageCrc32"], "CAFE0001");
    EXPECT_TRUE(document["records"][1]["uniqueId"].is_null());
    EXPECT_EQ(first.size(), rows[0].size());

    auto byUid = test::runCli(
        {"records", "--records", file, "--uid", "00112233 44556677 00000003", "--json"});
    ASSERT_EQ(byUid.exitCode, 0) << byUid.err;
    EXPECT_EQ(nlohmann::json::parse(byUid.out)["records"].size(), 1u);
    auto since = test::runCli({"records", "--records", file, "--since", "2024-05-01T08:02Z"});
    ASSERT_EQ(since.exitCode, 0) << since.err;
    EXPECT_EQ(since.out.find(chips[0].port + " "), std::string::npos) << since.out;
    EXPECT_NE(since.out.find("read_protected"), std::string::npos) << since.out;
    EXPECT_NE(since.out.find("verify"), std::string::npos) << since.out;

    auto pool = test::runCli({"records", "--records", file, "--pool", "PLN"});
    EXPECT_EQ(pool.exitCode, 0) << pool.err;
    EXPECT_EQ(test::runCli({"records", "--records", file, "--since", "May"}).exitCode, 2);
    EXPECT_EQ(test::runCli({"records", "--records", file, "--uid", "12"}).exitCode, 2);
    EXPECT_EQ(test::runCli({"records", "--csv", "--json"}).exitCode, 2);
    auto missing = test::runCli({"records", "--records", directory.file("none.sqlite3")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("none.sqlite3"), std::string::npos);
}

TEST(RecordsCommandTest, ReadsTheDefaultFileAndASharedDatabase) {
    test::TempDirectory data;
    setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    const auto chips = threeChips();
    auto defaultFile = records::OpenRecordStore(records::RecordsLocationOf(""));
    ASSERT_TRUE(defaultFile.ok()) << defaultFile.error().message;
    storeAll(*defaultFile.value(), chips);
    ASSERT_TRUE(std::filesystem::exists(data.file("Pellion/records.sqlite3")));
    auto local = test::runCli({"records", "--csv"});
    EXPECT_EQ(local.exitCode, 0) << local.err;
    EXPECT_EQ(parseCsv(local.out).size(), 4u);

    test::PostgresCluster cluster;  // the connection is found through libpq's service file
    ASSERT_TRUE(cluster.ok()) << cluster.error();
    const std::string shared = cluster.createDatabase();
    storeAll(*records::OpenPostgresStore(shared).value(), chips);
    auto remote = test::runCli({"records", "--records", shared, "--csv"});
    ASSERT_EQ(remote.exitCode, 0) << remote.err;
    EXPECT_EQ(remote.out, local.out);
}

}  // namespace
}  // namespace pellion
