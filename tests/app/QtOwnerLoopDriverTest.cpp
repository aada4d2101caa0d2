#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "app/QtOwnerLoopDriver.h"

namespace pellion {
namespace {

using namespace std::chrono_literals;

TEST(QtOwnerLoopDriverTest, WorkFromOtherThreadsRunsOnTheWindowThreadInOrder) {
    test::qtApp();
    OwnerLoop loop;
    loop.post([] {});  // handed in before the driver exists
    QtOwnerLoopDriver driver(loop);

    std::vector<int> order;
    std::vector<bool> onWindowThread;
    std::atomic<bool> callReturned{false};
    std::thread monitor([&] {
        for (int i = 0; i < 3; ++i) {
            loop.post([&, i] {
                order.push_back(i);
                onWindowThread.push_back(QThread::currentThread() == qApp->thread());
            });
        }
        // A synchronous hand-over returns only after the window thread has run it.
        const bool ran = loop.call([&] {
            order.push_back(3);
            onWindowThread.push_back(QThread::currentThread() == qApp->thread());
        });
        callReturned = ran;
    });
    EXPECT_TRUE(test::processEventsUntil([&] { return callReturned.load(); }));
    monitor.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(onWindowThread, (std::vector<bool>{true, true, true, true}));
}

TEST(QtOwnerLoopDriverTest, TimersFireThroughQtsLoopAndStopWhenStopped) {
    test::qtApp();
    OwnerLoop loop;
    QtOwnerLoopDriver driver(loop);
    int oneShot = 0;
    int periodic = 0;
    loop.startTimer(20ms, false, [&] { ++oneShot; });
    const TimerId ticking = loop.startTimer(10ms, true, [&] { ++periodic; });

    EXPECT_TRUE(test::processEventsUntil([&] { return periodic >= 5 && oneShot == 1; }));
    loop.stopTimer(ticking);
    const int stoppedAt = periodic;
    test::processEventsUntil([] { return false; }, 60);
    EXPECT_EQ(periodic, stoppedAt);
    EXPECT_EQ(oneShot, 1);
}

TEST(QtOwnerLoopDriverTest, CallsWaitingWhileTheWindowThreadServesAreAnswered) {
    // The window thread blocks in serveUntil (as when it waits for a monitor thread to end);
    // a monitor thread's call must still be run, or neither could finish.
    test::qtApp();
    OwnerLoop loop;
    QtOwnerLoopDriver driver(loop);
    std::atomic<bool> finished{false};
    int served = 0;
    std::thread monitor([&] {
        loop.call([&] { ++served; });
        finished = true;
    });
    loop.serveUntil([&] { return finished.load(); });
    monitor.join();
    EXPECT_EQ(served, 1);
}

TEST(QtOwnerLoopDriverTest, DestroyingTheDriverWhileThreadsHandInWorkIsSafe) {
    test::qtApp();
    OwnerLoop loop;
    std::atomic<bool> stop{false};
    std::atomic<int> posted{0};
    std::thread flood([&] {
        while (!stop) {
            loop.post([] {});
            ++posted;
        }
    });
    while (posted < 100)
        std::this_thread::yield();
    for (int round = 0; round < 20; ++round) {
        auto driver = std::make_unique<QtOwnerLoopDriver>(loop);
        QCoreApplication::processEvents();
        driver.reset();
        QCoreApplication::processEvents();  // queued wakes of the dead driver must not run
    }
    const int postedDuringRounds = posted.load();
    stop = true;
    flood.join();
    EXPECT_GE(postedDuringRounds, 100);
    // A fresh driver still drains what is left.
    QtOwnerLoopDriver driver(loop);
    bool drained = false;
    loop.post([&] { drained = true; });
    EXPECT_TRUE(test::processEventsUntil([&] { return drained; }));
}

}  // namespace
}  // namespace pellion
