#include "cli/InterruptSignals.h"

#include <pthread.h>
#include <signal.h>

#include <ctime>

namespace pellion::cli {

namespace {

sigset_t interruptSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void BlockInterruptSignals() {
    const sigset_t set = interruptSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

InterruptWatcher::InterruptWatcher(OwnerLoop& loop, std::function<void(int)> onSignal)
    : loop_(loop), onSignal_(std::move(onSignal)), thread_([this] { watch(); }) {}

InterruptWatcher::~InterruptWatcher() {
    stop_ = true;
    thread_.join();
}

// Waits in short slices so that the destructor never waits long for this thread.
void InterruptWatcher::watch() {
    const sigset_t set = interruptSignals();
    const timespec slice{0, 100'000'000};
    while (!stop_) {
        if (sigtimedwait(&set, nullptr, &slice) < 0)
            continue;
        const int count = ++count_;
        loop_.post([onSignal = onSignal_, count] { onSignal(count); });
    }
}

}  // namespace pellion::cli
