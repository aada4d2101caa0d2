#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

#include "records/RecordStore.h"
#include "records/RecordsTestDatabase.h"
#include "support/SampleRecords.h"

namespace pellion::records {
namespace {

using test::Backend;

class SerialConcurrencyTest : public testing::TestWithParam<Backend> {};

// Stations on one database, each with its own connection, allocating from one pool at once;
// every fourth chip fails and gives its number back. No number may end up in two chips, and
// with failed numbers reused the numbers in chips plus those back in the pool leave no gap.
TEST_P(SerialConcurrencyTest, StationsNeverShareANumber) {
    test::TestDatabases databases(GetParam());
    ASSERT_EQ(databases.error(), "");
    const std::string where = databases.fresh();
    ASSERT_TRUE(databases.open(where).ok());  // the schema, made once

    constexpr int kStations = 4;
    constexpr int kChips = 24;  // a multiple of four: three in four succeed
    std::vector<std::string> errors(kStations);
    std::vector<std::thread> stations;
    for (int s = 0; s < kStations; ++s) {
        stations.emplace_back([&, s] {
            auto store = databases.open(where);
            if (!store) {
                errors[s] = store.error().message;
                return;
            }
            for (int c = 0; c < kChips && errors[s].empty(); ++c) {
                ChipRecord chip = test::sampleRecord(s * 100 + c);
                chip.station = "station-" + std::to_string(s);
                auto number =
                    store.value()->allocateSerial({"PLN", 1, chip.recordId, chip.station});
                if (!number) {
                    errors[s] = number.error().message;
                    break;
                }
                chip.serial = SerialAssignment{"PLN", number.value().number};
                chip.result = c % 4 == 3 ? ChipResult::Failed : ChipResult::Succeeded;
                if (auto stored = store.value()->put(chip); !stored)
                    errors[s] = stored.error().message;
            }
        });
    }
    for (auto& t : stations)
        t.join();
    for (const auto& e : errors)
        ASSERT_EQ(e, "");

    auto store = databases.open(where);
    ASSERT_TRUE(store.ok());
    std::map<std::uint32_t, int> chipsWithNumber;
    const auto records = store.value()->find({});
    ASSERT_TRUE(records.ok());
    for (const ChipRecord& r : records.value()) {
        if (r.result == ChipResult::Succeeded)
            ++chipsWithNumber[r.serial->number];
    }
    EXPECT_EQ(chipsWithNumber.size(), std::size_t(kStations * kChips * 3 / 4));
    for (const auto& [number, chips] : chipsWithNumber)
        EXPECT_EQ(chips, 1) << "number " << number;

    std::set<std::uint32_t> seen;
    const auto numbers = store.value()->serialNumbers("PLN");
    ASSERT_TRUE(numbers.ok());
    for (const SerialNumberState& n : numbers.value()) {
        EXPECT_NE(n.state, SerialState::Allocated) << n.number;
        EXPECT_EQ(n.state == SerialState::Bound, chipsWithNumber.count(n.number) == 1) << n.number;
        seen.insert(n.number);
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(*seen.begin(), 1u);
    EXPECT_EQ(*seen.rbegin(), seen.size());  // 1..N without a gap
}

INSTANTIATE_TEST_SUITE_P(Backends, SerialConcurrencyTest,
                         testing::Values(Backend::Sqlite, Backend::Postgres), test::backendName);

}  // namespace
}  // namespace pellion::records
