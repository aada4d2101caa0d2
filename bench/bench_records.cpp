// The cost of one chip's record: committed to an SQLite file (target: under 5 ms), and stored
// through the local spool until it is on a local PostgreSQL server (target: under 20 ms). Both
// databases write durably (SQLite: write-ahead log, full sync; PostgreSQL: fsync on). Prints
// the median, the 99th percentile and the mean per record; the mean is held to the target.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <numeric>
#include <vector>

#include "records/RecordService.h"
#include "records/RecordStore.h"
#include "tests/support/PostgresCluster.h"
#include "tests/support/SampleRecords.h"
#include "tests/support/TempDirectory.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace pellion;
constexpr int kRecords = 300;

struct Figures {
    double median, p99, mean;
};

Figures figuresOf(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 99 / 100],
            std::accumulate(ms.begin(), ms.end(), 0.0) / double(ms.size())};
}

template <class Work>
Figures timeEach(Work work) {
    std::vector<double> ms;
    for (int i = 0; i < kRecords; ++i) {
        records::ChipRecord record = test::sampleRecord(i);
        const auto begin = Clock::now();
        if (!work(record))
            return {-1, -1, -1};
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    }
    return figuresOf(ms);
}

void print(const char* what, Figures f, double target) {
    std::printf("%-44s median %6.2f ms  p99 %6.2f ms  mean %6.2f ms  (target < %.0f ms)%s\n", what,
                f.median, f.p99, f.mean, target,
                f.median < 0 ? "  FAILED" : (f.mean < target ? "" : "  OVER"));
}

bool storeThrough(records::RecordService& service, const records::ChipRecord& record) {
    std::promise<bool> stored;
    service.store(record, [&](records::StoreResult<> r) { stored.set_value(r.ok()); });
    return stored.get_future().get();
}

}  // namespace

int main() {
    test::TempDirectory directory;
    {
        auto store = records::OpenSqliteStore(directory.file("direct.sqlite3"));
        print("SQLite, one record committed",
              timeEach([&](const records::ChipRecord& r) { return store.value()->put(r).ok(); }),
              5);
    }
    {
        records::RecordService service({directory.file("service.sqlite3"), std::nullopt});
        print("SQLite through the service, until committed",
              timeEach([&](const records::ChipRecord& r) { return storeThrough(service, r); }), 5);
    }

    test::PostgresCluster cluster(true);
    if (!cluster.ok()) {
        std::fprintf(stderr, "no PostgreSQL server: %s\n", cluster.error().c_str());
        return 1;
    }
    const std::string shared = cluster.createDatabase();
    {
        auto store = records::OpenPostgresStore(shared);
        print("PostgreSQL, one record committed",
              timeEach([&](const records::ChipRecord& r) { return store.value()->put(r).ok(); }),
              20);
    }
    records::RecordService service({directory.file("spool.sqlite3"), shared});
    print("spool: committed locally",
          timeEach([&](const records::ChipRecord& r) { return storeThrough(service, r); }), 5);
    print("spool: committed locally and uploaded", timeEach([&](const records::ChipRecord& r) {
              return storeThrough(service, r) &&
                     service.waitUntilUploaded(std::chrono::seconds(30));
          }),
          20);
    return 0;
}
