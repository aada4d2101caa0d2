#include "engine/OwnerLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using pellion::OwnerLoop;

TEST(OwnerLoop, CallFromAnotherThreadRunsOnOwnerAndReturnsAfterIt) {
    OwnerLoop loop;
    const auto owner = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> returned{false};
    bool ranBeforeReturn = false;
    std::thread worker([&] {
        loop.call([&] { ranOn = std::this_thread::get_id(); });
        ranBeforeReturn = ranOn == owner;
        returned = true;
    });
    EXPECT_TRUE(loop.runUntil([&] { return returned.load(); }, 5s));
    worker.join();
    EXPECT_TRUE(ranBeforeReturn);
}

TEST(OwnerLoop, PostedWorkKeepsItsOrderAcrossThreads) {
    OwnerLoop loop;
    std::vector<int> seen;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) loop.post([&seen, i] { seen.push_back(i); });
    });
    worker.join();
    EXPECT_TRUE(loop.runUntil([&] { return seen.size() == 100; }, 5s));
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i);
}

TEST(OwnerLoop, CallOnOwnerThreadRunsDirectly) {
    OwnerLoop loop;
    bool ran = false;
    EXPECT_TRUE(loop.call([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

TEST(OwnerLoop, TimersFireInDeadlineOrderAndStopCleanly) {
    OwnerLoop loop;
    std::vector<char> order;
    loop.startTimer(30ms, false, [&] { order.push_back('b'); });
    loop.startTimer(10ms, false, [&] { order.push_back('a'); });
    int ticks = 0;
    pellion::TimerId periodic = 0;
    periodic = loop.startTimer(5ms, true, [&] {
        if (++ticks == 3) loop.stopTimer(periodic);  // a timer may stop itself
    });
    const auto cancelled = loop.startTimer(5ms, false, [&] { order.push_back('x'); });
    loop.stopTimer(cancelled);

    EXPECT_TRUE(loop.runUntil([&] { return order.size() == 2 && ticks == 3; }, 5s));
    EXPECT_EQ(order, (std::vector<char>{'a', 'b'}));
    EXPECT_FALSE(loop.isTimerActive(periodic));
    loop.runUntil([] { return false; }, 30ms);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(order.size(), 2u);
}

TEST(OwnerLoop, ServeUntilLetsABlockedCallerFinish) {
    // The owner waits for a thread that is itself blocked handing work to the owner: the wait
    // must keep serving, or neither could go on.
    OwnerLoop loop;
    std::atomic<bool> threadEnded{false};
    int handled = 0;
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i) loop.call([&] { ++handled; });
        threadEnded = true;
        loop.wake();
    });
    loop.serveUntil([&] { return threadEnded.load(); });
    worker.join();
    EXPECT_EQ(handled, 5);
}

TEST(OwnerLoop, ServeUntilDoesNotRunTimers) {
    OwnerLoop loop;
    bool timerRan = false;
    loop.startTimer(0ms, false, [&] { timerRan = true; });
    const auto until = pellion::SteadyClock::now() + 20ms;
    loop.serveUntil([&] { return pellion::SteadyClock::now() >= until; });
    EXPECT_FALSE(timerRan);
    loop.runUntil([&] { return timerRan; }, 1s);
    EXPECT_TRUE(timerRan);
}

TEST(OwnerLoop, ClosingReleasesWaitingCallersWithoutRunningTheirWork) {
    OwnerLoop loop;
    std::atomic<int> results{-1};
    bool ran = false;
    std::thread worker([&] { results = loop.call([&] { ran = true; }) ? 1 : 0; });
    // Give the call time to be queued, then close instead of serving it.
    std::this_thread::sleep_for(20ms);
    loop.close();
    worker.join();
    EXPECT_EQ(results.load(), 0);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(loop.post([] {}));
}

TEST(OwnerLoop, EmbeddingLoopIsWokenAndProcessesDueWork) {
    OwnerLoop loop;
    std::atomic<int> wakes{0};
    loop.setWakeHandler([&] { ++wakes; });
    int ran = 0;
    std::thread worker([&] { loop.post([&] { ++ran; }); });
    worker.join();
    EXPECT_GE(wakes.load(), 1);
    const auto next = loop.processDue();
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(next.has_value());

    loop.startTimer(1ms, false, [&] { ++ran; });
    const auto deadline = loop.processDue();
    ASSERT_TRUE(deadline.has_value());
    // Windows' sleeps may end a little before the deadline they were given.
    while (pellion::SteadyClock::now() < *deadline)
        std::this_thread::sleep_until(*deadline);
    loop.processDue();
    EXPECT_EQ(ran, 2);
}
