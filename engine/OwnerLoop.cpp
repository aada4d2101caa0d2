#include "engine/OwnerLoop.h"

#include <algorithm>
#include <vector>

namespace pellion {

// A synchronous hand-over: the calling thread waits on it until the owner has run the task
// or the loop has closed.
struct CallState {
    LoopMutex mutex;
    LoopCondition finished;
    bool done = false;
    bool ran = false;

    void finish(bool taskRan) {
        std::lock_guard lock(mutex);
        done = true;
        ran = taskRan;
        finished.notify_all();
    }
};

namespace {
// How often a waiting owner re-tests a condition that no event announces. Closing a port
// waits briefly and wants to be quick; a caller of runUntil is usually woken by work or a timer.
constexpr auto kServePollInterval = std::chrono::milliseconds(2);
constexpr auto kRunPollInterval = std::chrono::milliseconds(20);
}  // namespace

OwnerLoop::OwnerLoop() : ownerThread_(std::this_thread::get_id()) {}

OwnerLoop::~OwnerLoop() { close(); }

void OwnerLoop::bindToCurrentThread() {
    std::lock_guard lock(mutex_);
    ownerThread_ = std::this_thread::get_id();
}

bool OwnerLoop::isOwnerThread() const {
    std::lock_guard lock(mutex_);
    return ownerThread_ == std::this_thread::get_id();
}

bool OwnerLoop::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        pending_.push_back({std::move(task), nullptr});
        wakeup_.notify_all();
    }
    notifyWakeHandler();
    return true;
}

bool OwnerLoop::call(Task task) {
    if (isOwnerThread()) {
        task();
        return true;
    }
    auto state = std::make_shared<CallState>();
    {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        pending_.push_back({std::move(task), state});
        wakeup_.notify_all();
    }
    notifyWakeHandler();
    std::unique_lock lock(state->mutex);
    state->finished.wait(lock, [&] { return state->done; });
    return state->ran;
}

TimerId OwnerLoop::startTimer(std::chrono::milliseconds interval, bool periodic, Task task) {
    const TimerId id = nextTimerId_++;
    timers_[id] = Timer{SteadyClock::now() + interval, interval, periodic,
                        std::make_shared<Task>(std::move(task))};
    notifyWakeHandler();
    return id;
}

void OwnerLoop::stopTimer(TimerId id) { timers_.erase(id); }

bool OwnerLoop::isTimerActive(TimerId id) const { return timers_.count(id) != 0; }

bool OwnerLoop::runOnePending() {
    Pending item;
    {
        std::lock_guard lock(mutex_);
        if (pending_.empty()) return false;
        item = std::move(pending_.front());
        pending_.pop_front();
    }
    item.task();
    if (item.callState) item.callState->finish(true);
    return true;
}

void OwnerLoop::runDueTimers() {
    const auto now = SteadyClock::now();
    std::vector<std::pair<SteadyClock::time_point, TimerId>> due;
    for (const auto& [id, timer] : timers_) {
        if (timer.deadline <= now) due.emplace_back(timer.deadline, id);
    }
    std::sort(due.begin(), due.end());
    for (const auto& [deadline, id] : due) {
        auto it = timers_.find(id);
        if (it == timers_.end()) continue;  // stopped by an earlier timer of this round
        auto task = it->second.task;        // keeps the task alive if it stops its own timer
        if (it->second.periodic) {
            // A late tick is not caught up in a burst: the next one is a whole interval away.
            it->second.deadline = std::max(it->second.deadline + it->second.interval,
                                           now + it->second.interval / 2);
        } else {
            timers_.erase(it);
        }
        (*task)();
    }
}

std::optional<SteadyClock::time_point> OwnerLoop::nextDeadline() const {
    std::optional<SteadyClock::time_point> next;
    for (const auto& [id, timer] : timers_) {
        if (!next || timer.deadline < *next) next = timer.deadline;
    }
    return next;
}

std::optional<SteadyClock::time_point> OwnerLoop::processDue() {
    while (runOnePending()) {
    }
    runDueTimers();
    return nextDeadline();
}

void OwnerLoop::serveUntil(const std::function<bool()>& done) {
    while (!done()) {
        if (runOnePending()) continue;
        std::unique_lock lock(mutex_);
        if (!pending_.empty()) continue;
        const auto seen = wakeCount_;
        wakeup_.wait_for(lock, kServePollInterval,
                         [&] { return !pending_.empty() || wakeCount_ != seen || closed_; });
    }
}

bool OwnerLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto giveUp = SteadyClock::now() + timeout;
    while (!done()) {
        const auto next = processDue();
        if (done()) break;
        const auto now = SteadyClock::now();
        if (now >= giveUp) return false;
        auto until = std::min(giveUp, now + kRunPollInterval);
        if (next) until = std::min(until, *next);
        std::unique_lock lock(mutex_);
        if (quit_) {
            quit_ = false;
            return done();
        }
        const auto seen = wakeCount_;
        wakeup_.wait_until(lock, until,
                           [&] { return !pending_.empty() || wakeCount_ != seen || closed_; });
        if (closed_ && pending_.empty()) return done();
    }
    return true;
}

void OwnerLoop::run() {
    while (true) {
        const auto next = processDue();
        std::unique_lock lock(mutex_);
        if (quit_ || closed_) {
            quit_ = false;
            return;
        }
        if (!pending_.empty()) continue;
        const auto seen = wakeCount_;
        auto ready = [&] { return !pending_.empty() || wakeCount_ != seen || quit_ || closed_; };
        if (next) {
            wakeup_.wait_until(lock, *next, ready);
        } else {
            wakeup_.wait(lock, ready);
        }
    }
}

void OwnerLoop::quit() {
    std::lock_guard lock(mutex_);
    quit_ = true;
    ++wakeCount_;
    wakeup_.notify_all();
}

void OwnerLoop::wake() {
    {
        std::lock_guard lock(mutex_);
        ++wakeCount_;
        wakeup_.notify_all();
    }
    notifyWakeHandler();
}

void OwnerLoop::setWakeHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    wakeHandler_ = std::move(handler);
}

void OwnerLoop::notifyWakeHandler() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        handler = wakeHandler_;
    }
    if (handler) handler();
}

void OwnerLoop::close() {
    std::deque<Pending> dropped;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        dropped.swap(pending_);
        ++wakeCount_;
        wakeup_.notify_all();
    }
    for (auto& item : dropped) {
        if (item.callState) item.callState->finish(false);
    }
}

}  // namespace pellion
