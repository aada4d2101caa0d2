#include "records/StoreWorker.h"

namespace pellion::records {

StoreWorker::StoreWorker(Idle idle) : idle_(std::move(idle)), thread_([this] { loop(); }) {}

StoreWorker::~StoreWorker() {
    stop(true);
}

void StoreWorker::post(Job job) {
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            jobs_.push_back(std::move(job));
            changed_.notify_one();
            return;
        }
    }
    job(true);  // too late: say so at once
}

void StoreWorker::wake() {
    std::lock_guard lock(mutex_);
    woken_ = true;
    changed_.notify_one();
}

void StoreWorker::stop(bool runQueued) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ && !thread_.joinable())
            return;
        stopping_ = true;
        runQueued_ = runQueued;
        changed_.notify_one();
    }
    if (thread_.joinable())
        thread_.join();
}

void StoreWorker::loop() {
    std::chrono::milliseconds rest = kRestUntilWoken;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!jobs_.empty()) {
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            const bool cancelled = stopping_ && !runQueued_;
            lock.unlock();
            job(cancelled);
            lock.lock();
            woken_ = true;  // a job may have changed what the background work has to do
            continue;
        }
        if (stopping_)
            return;
        if (woken_ && idle_) {
            woken_ = false;
            lock.unlock();
            rest = idle_();
            lock.lock();
            continue;
        }
        auto ready = [&] { return stopping_ || !jobs_.empty() || (woken_ && idle_); };
        if (rest == kRestUntilWoken) {
            changed_.wait(lock, ready);
        } else if (!changed_.wait_for(lock, rest, ready)) {
            woken_ = true;  // rested long enough: try the background work again
        }
    }
}

}  // namespace pellion::records
