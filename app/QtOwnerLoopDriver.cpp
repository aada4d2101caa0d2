#include "app/QtOwnerLoopDriver.h"

#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <mutex>

namespace pellion {

struct QtOwnerLoopDriver::Link {
    std::mutex mutex;
    QtOwnerLoopDriver* driver = nullptr;
    std::atomic<bool> scheduled{false};

    // Any thread: asks the window thread for one processDue; repeated wakes before it runs
    // coalesce into that one.
    void wake() {
        std::lock_guard lock(mutex);
        if (!driver || scheduled.exchange(true))
            return;
        QMetaObject::invokeMethod(
            driver, [d = driver] { d->processDue(); }, Qt::QueuedConnection);
    }
};

QtOwnerLoopDriver::QtOwnerLoopDriver(OwnerLoop& loop, QObject* parent)
    : QObject(parent), loop_(loop), link_(std::make_shared<Link>()) {
    link_->driver = this;
    loop_.bindToCurrentThread();
    deadlineTimer_.setSingleShot(true);
    deadlineTimer_.setTimerType(Qt::PreciseTimer);
    connect(&deadlineTimer_, &QTimer::timeout, this, &QtOwnerLoopDriver::processDue);
    loop_.setWakeHandler([link = link_] { link->wake(); });
    link_->wake();  // work handed in before the driver existed
}

QtOwnerLoopDriver::~QtOwnerLoopDriver() {
    loop_.setWakeHandler(nullptr);
    std::lock_guard lock(link_->mutex);
    link_->driver = nullptr;
}

void QtOwnerLoopDriver::processDue() {
    // Cleared first: work handed in while this runs schedules another pass.
    link_->scheduled = false;
    const auto next = loop_.processDue();
    if (!next) {
        deadlineTimer_.stop();
        return;
    }
    // Rounded up, so the timer never fires just before its deadline and spins.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - SteadyClock::now());
    deadlineTimer_.start(static_cast<int>(std::clamp<std::int64_t>(wait.count(), 0, 86'400'000)));
}

}  // namespace pellion
