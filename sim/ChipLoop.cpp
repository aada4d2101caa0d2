#include "sim/ChipLoop.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>

namespace pellion::sim {

ChipLoop::ChipLoop() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    thread_ = std::thread([this] { run(); });
    haveCpuClock_ = pthread_getcpuclockid(thread_.native_handle(), &cpuClock_) == 0;
}

std::chrono::nanoseconds ChipLoop::cpuTime() const {
    if (const std::int64_t final = finalCpuNanos_; final >= 0)
        return std::chrono::nanoseconds(final);
    timespec used{};
    if (!haveCpuClock_ || clock_gettime(cpuClock_, &used) != 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
}

ChipLoop::~ChipLoop() {
    stop();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void ChipLoop::add(std::shared_ptr<VirtualChip> chip) {
    chip->setWakeHandler([this] { wake(); });
    {
        std::lock_guard lock(mutex_);
        chips_.push_back(std::move(chip));
        ++chipsVersion_;
    }
    wake();
}

void ChipLoop::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void ChipLoop::stop() {
    if (stopping_.exchange(true))
        return;
    wake();
    if (thread_.joinable()) {
        finalCpuNanos_ = cpuTime().count();  // the clock goes with the thread
        thread_.join();
    }
    std::lock_guard lock(mutex_);
    for (auto& chip : chips_)
        chip->setWakeHandler(nullptr);
}

void ChipLoop::run() {
    // Answers are due at precise moments; the default timer slack would add 50 us to each.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    // A real chip does not wait for the host's CPU: where allowed, this thread goes ahead of
    // ordinary work so that a busy machine delays the answers as little as possible.
    ::setpriority(PRIO_PROCESS, 0, -10);
    std::vector<std::shared_ptr<VirtualChip>> chips;
    std::vector<pollfd> fds;
    std::vector<int> slotOf;  // index into fds for each chip, or -1
    std::vector<std::optional<TimePoint>> deadlines;
    std::uint64_t version = ~std::uint64_t(0);
    while (!stopping_) {
        if (chipsVersion_ != version) {
            std::lock_guard lock(mutex_);
            chips = chips_;
            version = chipsVersion_;
        }
        fds.assign(1, pollfd{wakeFd_, POLLIN, 0});
        slotOf.assign(chips.size(), -1);
        deadlines.assign(chips.size(), std::nullopt);
        std::optional<TimePoint> earliest;
        for (std::size_t i = 0; i < chips.size(); ++i) {
            const VirtualChip::Plan plan = chips[i]->plan();
            if (plan.fd >= 0 && plan.events != 0) {
                slotOf[i] = int(fds.size());
                fds.push_back(pollfd{plan.fd, plan.events, 0});
            }
            deadlines[i] = plan.deadline;
            if (plan.deadline && (!earliest || *plan.deadline < *earliest))
                earliest = plan.deadline;
        }
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (earliest) {
            const auto left = std::max<std::chrono::nanoseconds>(*earliest - SteadyClock::now(),
                                                                 std::chrono::nanoseconds(0));
            timeout.tv_sec = time_t(left.count() / 1'000'000'000);
            timeout.tv_nsec = long(left.count() % 1'000'000'000);
            timeoutPtr = &timeout;
        }
        const int ready = ::ppoll(fds.data(), fds.size(), timeoutPtr, nullptr);
        if (ready < 0 && errno != EINTR)
            continue;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
        }
        const TimePoint now = SteadyClock::now();
        for (std::size_t i = 0; i < chips.size(); ++i) {
            const short revents = slotOf[i] >= 0 ? fds[std::size_t(slotOf[i])].revents : 0;
            if (revents != 0 || (deadlines[i] && *deadlines[i] <= now))
                chips[i]->service(revents, now);
        }
    }
}

}  // namespace pellion::sim
