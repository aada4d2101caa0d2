#include "engine/LoopSync.h"

#include <windows.h>

#include <new>

namespace pellion {

namespace {

static_assert(sizeof(SRWLOCK) == sizeof(void*) && alignof(SRWLOCK) <= alignof(void*));
static_assert(sizeof(CONDITION_VARIABLE) == sizeof(void*) &&
              alignof(CONDITION_VARIABLE) <= alignof(void*));

SRWLOCK* srwLock(void* storage) {
    return std::launder(static_cast<SRWLOCK*>(storage));
}

CONDITION_VARIABLE* condition(void* storage) {
    return std::launder(static_cast<CONDITION_VARIABLE*>(storage));
}

}  // namespace

LoopMutex::LoopMutex() {
    new (storage_) SRWLOCK(SRWLOCK_INIT);
}

void LoopMutex::lock() {
    ::AcquireSRWLockExclusive(srwLock(storage_));
}

void LoopMutex::unlock() {
    ::ReleaseSRWLockExclusive(srwLock(storage_));
}

bool LoopMutex::try_lock() {
    return ::TryAcquireSRWLockExclusive(srwLock(storage_)) != 0;
}

LoopCondition::LoopCondition() {
    new (storage_) CONDITION_VARIABLE(CONDITION_VARIABLE_INIT);
}

void LoopCondition::notify_one() {
    ::WakeConditionVariable(condition(storage_));
}

void LoopCondition::notify_all() {
    ::WakeAllConditionVariable(condition(storage_));
}

void LoopCondition::sleep(std::unique_lock<LoopMutex>& lock, long ms) {
    // A time-out or a spurious wake returns like a notification; the caller tests again.
    ::SleepConditionVariableSRW(condition(storage_), srwLock(lock.mutex()->native()),
                                ms < 0 ? INFINITE : static_cast<DWORD>(ms), 0);
}

}  // namespace pellion
