#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "records/ChipRecord.h"
#include "records/RecordStore.h"
#include "records/RecordsLocation.h"
#include "records/StoreWorker.h"

namespace pellion::records {

struct RecordServiceConfig {
    // The SQLite file: the records themselves, or, with `shared`, this station's copy of every
    // record and the spool in front of the shared database.
    std::string localPath;
    // A PostgreSQL connection text: the shared database of every station of a line.
    std::optional<std::string> shared;
    // The longest rest between two upload attempts while the shared database is unreachable
    // (the rest doubles from a quarter second up to this).
    std::chrono::milliseconds longestRetry{5000};
};

// The service for what the operator named (--records, the settings item): an SQLite file on its
// own, or a PostgreSQL database with the default file as its spool.
RecordServiceConfig ServiceConfigFor(const RecordsLocation& location);

struct RecordServiceStatus {
    // Committed locally, not yet in the shared database; 0 until the spool was first read, a
    // moment after the service starts.
    std::int64_t waiting = 0;
    bool sharedReachable = true;  // as the last attempt found it
    std::string lastError;        // the last failure in the operator's words; empty after success
};

// Records and serial numbers for the engine and the window, without blocking them.
//
// Threading: every call returns at once, from any thread. The work runs on the service's own
// threads: a local thread commits records to the SQLite file (and, without a shared database,
// serves the serial pools there); with a shared database an upload thread copies the spooled
// records to it, oldest first, and serves the pools there. Completion callbacks run on those
// threads: keep them short and hand the result to the owner thread (OwnerLoop::post). status()
// only reads a snapshot under a lock that no I/O ever holds, so a timer may poll it.
//
// Guarantees: store() reports success only once the record is committed durably in the local
// file (write-ahead log, full synchronisation); a spooled record reaches the shared database
// exactly once (its record id makes a repeated upload a no-op) and in the order stored, however
// often the server goes away. Serial numbers need the database that holds the pool: with a
// shared database, allocation fails (Unreachable) while it cannot be reached; no number is ever
// made up locally.
class RecordService {
  public:
    explicit RecordService(RecordServiceConfig config);
    // Commits every record already handed in, then stops; waiting serial requests are answered
    // with an error, spooled records stay in the file for the next start.
    ~RecordService();
    RecordService(const RecordService&) = delete;
    RecordService& operator=(const RecordService&) = delete;

    // Commits the record (the chip's end). When it carries a serial number, the database holding
    // the pool binds it if the chip succeeded and takes it back otherwise: at once without a
    // shared database, at upload with one.
    void store(ChipRecord record, std::function<void(StoreResult<>)> done);
    // The next number of a pool for the chip whose record will have request.recordId; repeated
    // for the same record id it answers the same number.
    void allocateSerial(SerialRequest request,
                        std::function<void(StoreResult<SerialAllocation>)> done);
    // Gives a number back at once (a chip that will never be stored with it).
    void releaseSerial(SerialAllocation allocation, std::function<void(StoreResult<>)> done);

    RecordServiceStatus status() const;

    // Waits until nothing waits for upload or the time-out passes; true when nothing waits. For
    // the command line's end and for tests: it blocks, so never on the owner thread.
    bool waitUntilUploaded(std::chrono::milliseconds timeout);

  private:
    StoreResult<RecordStore*> localStore();
    StoreResult<RecordStore*> spoolReader();
    StoreResult<RecordStore*> sharedStore();
    // The upload worker's background work; returns how long to rest.
    std::chrono::milliseconds uploadWaiting();
    std::chrono::milliseconds retryLater(const StoreError& error);
    // Runs `use` on the thread that serves the pools, with the store that holds them; `fail`
    // gets the reason when there is none (stopping, or the database unreachable).
    void onPools(std::function<void(RecordStore&)> use,
                 std::function<void(const StoreError&)> fail);
    StoreResult<RecordStore*> poolStore();
    template <class T>
    StoreResult<T> keepConnectionIfUp(StoreResult<T> result) {
        if (result.isUnreachable())
            shared_.reset();  // reconnect next time
        return result;
    }
    void publishWaiting(RecordStore& spool);
    void noteResult(const StoreError* error, bool aboutShared);

    const RecordServiceConfig config_;
    // Each belongs to the thread that uses it: local_ to the local worker; spoolReader_ and
    // shared_ to the upload worker.
    std::unique_ptr<RecordStore> local_;
    std::unique_ptr<RecordStore> spoolReader_;
    std::unique_ptr<RecordStore> shared_;
    std::chrono::milliseconds retryRest_{0};
    std::atomic<bool> stopping_{false};

    std::mutex countMutex_;  // a count read and its publication, never interleaved
    mutable std::mutex statusMutex_;
    std::condition_variable statusChanged_;
    RecordServiceStatus status_;
    bool counted_ = false;      // status_.waiting has been read from the spool at least once
    bool sharedError_ = false;  // status_.lastError is about the shared database

    // Declared last: their threads end before the stores above are destroyed.
    std::unique_ptr<StoreWorker> uploader_;
    std::unique_ptr<StoreWorker> localWorker_;
};

}  // namespace pellion::records
