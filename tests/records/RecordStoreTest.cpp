#include <gtest/gtest.h>

#include "records/RecordSchema.h"
#include "records/RecordStore.h"
#include "records/RecordsTestDatabase.h"
#include "support/SampleRecords.h"

namespace pellion::records {
namespace {

using test::Backend;
using test::sampleRecord;

class RecordStoreTest : public testing::TestWithParam<Backend> {
  protected:
    void SetUp() override { ASSERT_EQ(databases.error(), ""); }

    std::unique_ptr<RecordStore> freshStore() {
        auto store = databases.open(databases.fresh());
        EXPECT_TRUE(store.ok()) << store.error().message;
        return store ? std::move(store.value()) : nullptr;
    }

    test::TestDatabases databases{GetParam()};
};

std::vector<ChipRecord> found(RecordStore& store, const RecordQuery& query) {
    auto records = store.find(query);
    EXPECT_TRUE(records.ok()) << records.error().message;
    return records ? records.value() : std::vector<ChipRecord>{};
}

TEST_P(RecordStoreTest, StoresEveryFieldOnceAndFindsByTimeUniqueIdAndPort) {
    auto store = freshStore();
    ASSERT_TRUE(store);
    ChipRecord full = sampleRecord(1);
    ChipRecord refused = sampleRecord(2);
    refused.uniqueId.clear();
    refused.uniqueIdMissing = "read_protected";
    refused.serial.reset();
    refused.options.bootEntry.clear();
    refused.result = ChipResult::NotIdentified;
    refused.failedStep = ChipStep::Identify;
    refused.usbLocation.clear();
    ChipRecord failed = sampleRecord(3);
    failed.result = ChipResult::Failed;
    failed.failedStep = ChipStep::ReadOptions;
    failed.image.startAddress = 0xFFFFFFFC;  // the top of the unsigned range survives
    failed.image.crc32 = 0xFFFFFFFF;

    for (const auto& r : {full, refused, failed})
        ASSERT_TRUE(store->put(r).ok());
    ASSERT_TRUE(store->put(full).ok());  // a repeated upload

    EXPECT_EQ(found(*store, {}), (std::vector<ChipRecord>{full, refused, failed}));
    EXPECT_EQ(found(*store, {.sinceMs = refused.startedAtMs}),
              (std::vector<ChipRecord>{refused, failed}));
    EXPECT_EQ(found(*store, {.uniqueId = *NormalisedUniqueId("00112233-44556677-00000003")}),
              (std::vector<ChipRecord>{failed}));
    EXPECT_EQ(found(*store, {.port = full.port}), (std::vector<ChipRecord>{full}));
    EXPECT_EQ(found(*store, {.last = 2}), (std::vector<ChipRecord>{refused, failed}));
}

TEST_P(RecordStoreTest, CreatesTheSchemaOnFirstUseAndMigratesAnOlderOne) {
    auto fresh = freshStore();
    ASSERT_TRUE(fresh);
    EXPECT_EQ(SchemaVersionOf(fresh->session()).value(), kSchemaVersion);

    // A database left by the first schema, with a record in it.
    const std::string old = databases.fresh();
    {
        auto session = databases.connect(old);
        ASSERT_TRUE(session.ok()) << session.error().message;
        ASSERT_TRUE(MigrateSchema(*session.value(), 1).ok());
        ASSERT_TRUE(session.value()
                        ->run("INSERT INTO chip_records VALUES ('old-1', 'st', '/dev/ttyS0', NULL, "
                              "'1RCB', 'KTM1RCB-0256', 'a.hex', 134217728, 1024, 305419896, 1, 0, "
                              "'succeeded', '', '旧记录', 1600000000000, 1600000009000, 9000, "
                              "'0.9')")
                        .ok());
        EXPECT_EQ(SchemaVersionOf(*session.value()).value(), 1);
    }
    auto migrated = databases.open(old);
    ASSERT_TRUE(migrated.ok()) << migrated.error().message;
    RecordStore& store = *migrated.value();
    EXPECT_EQ(SchemaVersionOf(store.session()).value(), kSchemaVersion);
    auto records = found(store, {});
    ASSERT_EQ(records.size(), 1u);
    const ChipRecord& r = records[0];
    EXPECT_EQ(r.recordId, "old-1");
    EXPECT_EQ(r.uniqueId, "");
    EXPECT_EQ(r.uniqueIdMissing, "not_recorded");
    EXPECT_EQ(r.image, (ImageIdentity{"a.hex", 0x08000000, 1024, 0x12345678}));
    EXPECT_EQ(r.remark, "旧记录");
    EXPECT_FALSE(r.serial.has_value());
    EXPECT_EQ(r.usbLocation, "");
    // The new parts work on the migrated database.
    ASSERT_TRUE(store.put(sampleRecord(4)).ok());
    EXPECT_EQ(store.allocateSerial({"PLN", 7, "rec", "st"}).value().number, 7u);

    // A schema from a later build is left alone, with a reason.
    ASSERT_TRUE(store.session().run("UPDATE schema_version SET version = 99").ok());
    auto newer = databases.open(old);
    ASSERT_FALSE(newer.ok());
    EXPECT_NE(newer.error().message.find("99"), std::string::npos) << newer.error().message;
}

TEST_P(RecordStoreTest, PoolHandsOutNumbersOnceAndReusesAFailedChipsNumber) {
    auto store = freshStore();
    ASSERT_TRUE(store);
    auto allocate = [&](const std::string& recordId) {
        auto a = store->allocateSerial({"PLN", 1000, recordId, "station-1"});
        EXPECT_TRUE(a.ok()) << a.error().message;
        return a ? a.value().number : 0u;
    };
    auto chip = [&](const std::string& recordId, std::uint32_t number, ChipResult result) {
        ChipRecord r = sampleRecord(int(number));
        r.recordId = recordId;
        r.serial = SerialAssignment{"PLN", number};
        r.result = result;
        return r;
    };

    EXPECT_EQ(allocate("a"), 1000u);
    EXPECT_EQ(allocate("b"), 1001u);
    EXPECT_EQ(allocate("a"), 1000u);  // asked again after a lost answer: the same number
    ASSERT_TRUE(store->put(chip("a", 1000, ChipResult::Failed)).ok());
    EXPECT_EQ(allocate("c"), 1000u);  // the failed chip's number goes to the next chip
    ASSERT_TRUE(store->put(chip("b", 1001, ChipResult::Succeeded)).ok());
    EXPECT_FALSE(store->releaseSerial({"PLN", 1001, "b"}).ok());  // it is in a chip now
    ASSERT_TRUE(store->releaseSerial({"PLN", 1000, "c"}).ok());
    ASSERT_TRUE(store->put(chip("a", 1000, ChipResult::Failed)).ok());  // late repeat: harmless
    EXPECT_EQ(allocate("d"), 1000u);
    EXPECT_EQ(allocate("e"), 1002u);
    EXPECT_EQ(store->allocateSerial({"other", 1, "f", "station-1"}).value().number, 1u);

    auto numbers = store->serialNumbers("PLN");
    ASSERT_TRUE(numbers.ok());
    ASSERT_EQ(numbers.value().size(), 3u);
    EXPECT_EQ(numbers.value()[0].state, SerialState::Allocated);
    EXPECT_EQ(numbers.value()[0].recordId, "d");
    EXPECT_EQ(numbers.value()[1].state, SerialState::Bound);
    EXPECT_EQ(numbers.value()[1].recordId, "b");
    EXPECT_EQ(numbers.value()[2].number, 1002u);
}

INSTANTIATE_TEST_SUITE_P(Backends, RecordStoreTest,
                         testing::Values(Backend::Sqlite, Backend::Postgres), test::backendName);

}  // namespace
}  // namespace pellion::records
