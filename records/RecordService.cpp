#include "records/RecordService.h"

#include <algorithm>

namespace pellion::records {
namespace {

constexpr std::chrono::milliseconds kFirstRetry{250};
const char* const kStopped = "记录服务已停止";

}  // namespace

RecordServiceConfig ServiceConfigFor(const RecordsLocation& location) {
    RecordServiceConfig config;
    if (location.kind == RecordsLocation::Kind::Postgres) {
        config.localPath = DefaultRecordsPath();
        config.shared = location.target;
    } else {
        config.localPath = location.target;
    }
    return config;
}

RecordService::RecordService(RecordServiceConfig config) : config_(std::move(config)) {
    if (config_.shared)
        uploader_ = std::make_unique<StoreWorker>([this] { return uploadWaiting(); });
    localWorker_ = std::make_unique<StoreWorker>();
    // Open (create, migrate) the file before the first chip ends rather than when it does.
    localWorker_->post([this](bool cancelled) {
        if (!cancelled)
            localStore();
    });
}

RecordService::~RecordService() {
    localWorker_->stop(true);
    stopping_ = true;
    if (uploader_)
        uploader_->stop(false);
}

void RecordService::store(ChipRecord record, std::function<void(StoreResult<>)> done) {
    localWorker_->post([this, record = std::move(record), done = std::move(done)](bool) {
        // Never cancelled: the local worker commits everything handed in before it stops.
        auto local = localStore();
        if (!local) {
            done(local.error());
            return;
        }
        auto stored = config_.shared ? local.value()->spool(record) : local.value()->put(record);
        noteResult(stored ? nullptr : &stored.error(), false);
        if (stored && config_.shared) {
            publishWaiting(*local.value());
            uploader_->wake();
        }
        done(std::move(stored));
    });
}

void RecordService::allocateSerial(SerialRequest request,
                                   std::function<void(StoreResult<SerialAllocation>)> done) {
    onPools([this, request = std::move(request),
             done](RecordStore& pools) { done(keepConnectionIfUp(pools.allocateSerial(request))); },
            [done](const StoreError& error) { done(error); });
}

void RecordService::releaseSerial(SerialAllocation allocation,
                                  std::function<void(StoreResult<>)> done) {
    onPools([this, allocation = std::move(allocation), done](
                RecordStore& pools) { done(keepConnectionIfUp(pools.releaseSerial(allocation))); },
            [done](const StoreError& error) { done(error); });
}

RecordServiceStatus RecordService::status() const {
    std::lock_guard lock(statusMutex_);
    return status_;
}

bool RecordService::waitUntilUploaded(std::chrono::milliseconds timeout) {
    std::unique_lock lock(statusMutex_);
    return statusChanged_.wait_for(
        lock, timeout, [&] { return (!config_.shared || counted_) && status_.waiting == 0; });
}

StoreResult<RecordStore*> RecordService::localStore() {
    if (!local_) {
        auto opened = OpenSqliteStore(config_.localPath);
        if (!opened) {
            noteResult(&opened.error(), false);
            return opened.error();
        }
        local_ = std::move(opened.value());
        if (config_.shared)
            publishWaiting(*local_);
    }
    return local_.get();
}

StoreResult<RecordStore*> RecordService::spoolReader() {
    if (!spoolReader_) {
        // Its commits only remove upload marks: one lost to a power cut costs a repeated,
        // harmless upload, not a record, so it need not wait for the disk.
        auto opened = OpenSqliteStore(config_.localPath, {.syncEveryCommit = false});
        if (!opened)
            return opened.error();
        spoolReader_ = std::move(opened.value());
    }
    return spoolReader_.get();
}

StoreResult<RecordStore*> RecordService::sharedStore() {
    if (!shared_) {
        auto opened = OpenPostgresStore(*config_.shared);
        if (!opened) {
            noteResult(&opened.error(), true);
            return opened.error();
        }
        shared_ = std::move(opened.value());
    }
    return shared_.get();
}

std::chrono::milliseconds RecordService::retryLater(const StoreError& error) {
    if (error.kind == StoreErrorKind::Unreachable)
        shared_.reset();  // reconnect on the next attempt
    noteResult(&error, true);
    retryRest_ = std::clamp(retryRest_ * 2, kFirstRetry, config_.longestRetry);
    return retryRest_;
}

std::chrono::milliseconds RecordService::uploadWaiting() {
    auto spool = spoolReader();
    if (!spool)
        return retryLater(spool.error());
    publishWaiting(*spool.value());
    while (!stopping_) {
        auto next = spool.value()->nextToUpload();
        if (!next)
            return retryLater(next.error());
        if (!next.value())
            break;
        auto shared = sharedStore();
        if (!shared)
            return retryLater(shared.error());
        // A put whose acknowledgement is lost is repeated later; the record id keeps it single.
        auto put = shared.value()->put(*next.value());
        if (!put)
            return retryLater(put.error());
        auto marked = spool.value()->markUploaded(next.value()->recordId);
        if (!marked)
            return retryLater(marked.error());
        noteResult(nullptr, true);
        publishWaiting(*spool.value());
    }
    retryRest_ = std::chrono::milliseconds(0);
    return StoreWorker::kRestUntilWoken;
}

void RecordService::onPools(std::function<void(RecordStore&)> use,
                            std::function<void(const StoreError&)> fail) {
    auto job = [this, use = std::move(use), fail = std::move(fail)](bool cancelled) {
        auto pools =
            cancelled || stopping_ ? StoreResult<RecordStore*>::failure(kStopped) : poolStore();
        if (pools)
            use(*pools.value());
        else
            fail(pools.error());
    };
    (config_.shared ? uploader_ : localWorker_)->post(std::move(job));
}

StoreResult<RecordStore*> RecordService::poolStore() {
    if (!config_.shared)
        return localStore();
    auto shared = sharedStore();
    if (!shared)
        return shared;
    // Records stored before this request reach the pool first: a failed chip's number is then
    // free again for the next one.
    uploadWaiting();
    return sharedStore();
}

void RecordService::publishWaiting(RecordStore& spool) {
    std::lock_guard countLock(countMutex_);
    auto waiting = spool.waitingCount();
    if (!waiting)
        return;
    std::lock_guard lock(statusMutex_);
    status_.waiting = waiting.value();
    counted_ = true;
    statusChanged_.notify_all();
}

void RecordService::noteResult(const StoreError* error, bool aboutShared) {
    std::lock_guard lock(statusMutex_);
    if (aboutShared)
        status_.sharedReachable = !(error && error->kind == StoreErrorKind::Unreachable);
    if (error) {
        status_.lastError = error->message;
        sharedError_ = aboutShared;
    } else if (sharedError_ == aboutShared) {
        status_.lastError.clear();  // the side that failed works again
    }
    statusChanged_.notify_all();
}

}  // namespace pellion::records
