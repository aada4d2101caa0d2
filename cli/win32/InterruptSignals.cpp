#include "cli/InterruptSignals.h"

#include <windows.h>

#include <mutex>

namespace pellion::cli {

// Ctrl+C, Ctrl+Break and closing the console arrive on a thread the system makes. They are
// counted here until the watcher takes them, as blocked signals wait on POSIX.
namespace {

std::mutex gMutex;
int gPending = 0;
HANDLE gArrived = nullptr;

BOOL WINAPI onConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
        return FALSE;
    std::lock_guard lock(gMutex);
    ++gPending;
    if (gArrived != nullptr)
        ::SetEvent(gArrived);
    return TRUE;
}

int takePending() {
    std::lock_guard lock(gMutex);
    const int pending = gPending;
    gPending = 0;
    return pending;
}

}  // namespace

void BlockInterruptSignals() {
    std::lock_guard lock(gMutex);
    if (gArrived == nullptr)
        gArrived = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

InterruptWatcher::InterruptWatcher(OwnerLoop& loop, std::function<void(int)> onSignal)
    : loop_(loop), onSignal_(std::move(onSignal)), thread_([this] { watch(); }) {}

InterruptWatcher::~InterruptWatcher() {
    stop_ = true;
    thread_.join();
}

// Waits in short slices so that the destructor never waits long for this thread.
void InterruptWatcher::watch() {
    HANDLE arrived = nullptr;
    {
        std::lock_guard lock(gMutex);
        arrived = gArrived;
    }
    while (!stop_) {
        if (arrived != nullptr)
            ::WaitForSingleObject(arrived, 100);
        else
            ::Sleep(100);
        for (int n = takePending(); n > 0; --n) {
            const int count = ++count_;
            loop_.post([onSignal = onSignal_, count] { onSignal(count); });
        }
    }
}

}  // namespace pellion::cli
