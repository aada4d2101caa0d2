#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "records/RecordService.h"
#include "records/RecordStore.h"
#include "support/PostgresCluster.h"
#include "support/SampleRecords.h"
#include "support/TempDirectory.h"

namespace pellion::records {
namespace {

constexpr auto kPatience = std::chrono::seconds(60);

// Hands a record to the service and waits for its answer, as the engine would through its
// owner loop; returns the answer and checks it came on another thread.
StoreResult<> storeAndWait(RecordService& service, const ChipRecord& record) {
    std::promise<std::pair<StoreResult<>, std::thread::id>> answer;
    service.store(record, [&](StoreResult<> r) {
        answer.set_value({std::move(r), std::this_thread::get_id()});
    });
    auto [result, thread] = answer.get_future().get();
    EXPECT_NE(thread, std::this_thread::get_id());
    return result;
}

StoreResult<SerialAllocation> allocateAndWait(RecordService& service, SerialRequest request) {
    std::promise<StoreResult<SerialAllocation>> answer;
    service.allocateSerial(std::move(request), [&](StoreResult<SerialAllocation> r) {
        answer.set_value(std::move(r));
    });
    return answer.get_future().get();
}

template <class Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The record ids on the shared database, in the order they were committed there (each upload
// is its own transaction, and transaction ids grow).
std::vector<std::string> sharedOrder(const std::string& connection) {
    auto store = OpenPostgresStore(connection);
    EXPECT_TRUE(store.ok());
    if (!store)
        return {};
    auto rows = store.value()->session().run(
        "SELECT record_id FROM chip_records ORDER BY xmin::text::bigint, record_id");
    std::vector<std::string> ids;
    for (const auto& row : rows.value().rows)
        ids.push_back(*row[0]);
    return ids;
}

TEST(RecordServiceTest, SpoolLosesNothingWhileTheServerIsAwayAndUploadsOnceInOrder) {
    test::PostgresCluster cluster;
    ASSERT_TRUE(cluster.ok()) << cluster.error();
    const std::string shared = cluster.createDatabase();
    test::TempDirectory directory;
    const RecordServiceConfig config{directory.file("spool.sqlite3"), shared,
                                     std::chrono::milliseconds(100)};
    std::vector<ChipRecord> chips;
    for (int i = 0; i < 12; ++i)
        chips.push_back(test::sampleRecord(i));

    // Left by an earlier run: two records spooled; the first already reached the server, but
    // the station stopped before it heard so.
    {
        auto spool = OpenSqliteStore(config.localPath);
        ASSERT_TRUE(spool.ok());
        ASSERT_TRUE(spool.value()->spool(chips[0]).ok());
        ASSERT_TRUE(spool.value()->spool(chips[1]).ok());
        ASSERT_TRUE(OpenPostgresStore(shared).value()->put(chips[0]).ok());
    }
    {
        RecordService service(config);
        for (int i = 2; i < 5; ++i)
            ASSERT_TRUE(storeAndWait(service, chips[i]).ok());
        ASSERT_TRUE(cluster.stop());  // whatever is on its way now is cut off
        for (int i = 5; i < 9; ++i)
            ASSERT_TRUE(storeAndWait(service, chips[i]).ok());
        EXPECT_TRUE(eventually([&] { return !service.status().sharedReachable; }));
        EXPECT_GE(service.status().waiting, 4);
        auto number = allocateAndWait(service, {"PLN", 1, "chip-x", "st"});
        ASSERT_FALSE(number.ok());
        EXPECT_TRUE(number.isUnreachable()) << number.error().message;

        ASSERT_TRUE(cluster.start());
        EXPECT_TRUE(service.waitUntilUploaded(kPatience));
        EXPECT_TRUE(service.status().sharedReachable);

        // The station closes while the server is away again: its records stay in the spool.
        ASSERT_TRUE(cluster.stop());
        for (int i = 9; i < 12; ++i)
            ASSERT_TRUE(storeAndWait(service, chips[i]).ok());
    }
    EXPECT_EQ(OpenSqliteStore(config.localPath).value()->waitingCount().value(), 3);
    ASSERT_TRUE(cluster.start());
    RecordService service(config);
    ASSERT_TRUE(service.waitUntilUploaded(kPatience));

    std::vector<std::string> expected;
    for (const auto& c : chips)
        expected.push_back(c.recordId);
    EXPECT_EQ(sharedOrder(shared), expected);
    EXPECT_EQ(OpenPostgresStore(shared).value()->find({}).value(), chips);
    EXPECT_EQ(OpenSqliteStore(config.localPath).value()->find({}).value(), chips);

    // Back online, numbers come from the shared pool; a failed chip's number is the next one's.
    auto first = allocateAndWait(service, {"PLN", 500, chips[0].recordId, "st"});
    ASSERT_TRUE(first.ok()) << first.error().message;
    EXPECT_EQ(first.value().number, 500u);
    ChipRecord failed = test::sampleRecord(20);
    failed.recordId = "failed-chip";
    failed.result = ChipResult::Failed;
    failed.serial = SerialAssignment{"PLN", 501};
    ASSERT_EQ(allocateAndWait(service, {"PLN", 500, failed.recordId, "st"}).value().number, 501u);
    ASSERT_TRUE(storeAndWait(service, failed).ok());
    EXPECT_EQ(allocateAndWait(service, {"PLN", 500, "next-chip", "st"}).value().number, 501u);
}

TEST(RecordServiceTest, WithoutASharedDatabaseRecordsAndNumbersStayInTheFile) {
    test::TempDirectory directory;
    const std::string file = directory.file("Pellion/records.sqlite3");  // folder made on use
    RecordService service(ServiceConfigFor(RecordsLocationOf(file)));
    ChipRecord chip = test::sampleRecord(1);
    chip.result = ChipResult::Failed;
    chip.serial = SerialAssignment{
        "PLN", allocateAndWait(service, {"PLN", 9, chip.recordId, "st"}).value().number};
    EXPECT_EQ(chip.serial->number, 9u);
    ASSERT_TRUE(storeAndWait(service, chip).ok());
    EXPECT_EQ(allocateAndWait(service, {"PLN", 9, "next", "st"}).value().number, 9u);

    std::promise<StoreResult<>> released;
    service.releaseSerial({"PLN", 9, "next"}, [&](StoreResult<> r) { released.set_value(r); });
    EXPECT_TRUE(released.get_future().get().ok());
    EXPECT_EQ(service.status().waiting, 0);
    EXPECT_EQ(OpenSqliteStore(file).value()->find({}).value(), std::vector<ChipRecord>{chip});
}

}  // namespace
}  // namespace pellion::records
