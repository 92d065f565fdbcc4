#include "MockBuses.h"
#include "Staywake/System/QtMainRunLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <limits>
#include <thread>
#include <vector>

namespace staywake {
namespace {

using testing::waitUntil;

TEST(QtMainRunLoop, RunsWorkFromAnyThreadOnTheGuiThreadInOrder) {
    QtMainRunLoop runLoop(*QCoreApplication::instance());
    std::vector<int> order;
    std::vector<QThread*> threads;
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i) {
            runLoop.perform([&, i] {
                order.push_back(i);
                threads.push_back(QThread::currentThread());
            });
        }
    });
    worker.join();
    EXPECT_TRUE(order.empty()) << "perform ran the action on the calling thread";

    ASSERT_TRUE(waitUntil([&] { return order.size() == 5; }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    for (QThread* thread : threads) {
        EXPECT_EQ(thread, QCoreApplication::instance()->thread());
    }
}

TEST(QtMainRunLoop, RunsDelayedWorkOnTheGuiThreadAfterTheDelay) {
    QtMainRunLoop runLoop(*QCoreApplication::instance());
    std::atomic<QThread*> ranOn{nullptr};
    QElapsedTimer elapsed;
    elapsed.start();
    std::thread worker([&] { runLoop.perform(0.2, [&] { ranOn = QThread::currentThread(); }); });
    worker.join();

    ASSERT_TRUE(waitUntil([&] { return ranOn.load() != nullptr; }));
    EXPECT_GE(elapsed.elapsed(), 200);
    EXPECT_EQ(ranOn.load(), QCoreApplication::instance()->thread());
}

TEST(QtMainRunLoop, ANegativeOrNotANumberDelayRunsSoon) {
    QtMainRunLoop runLoop(*QCoreApplication::instance());
    int runs = 0;
    runLoop.perform(-1, [&] { ++runs; });
    runLoop.perform(std::numeric_limits<double>::quiet_NaN(), [&] { ++runs; });
    EXPECT_TRUE(waitUntil([&] { return runs == 2; }));
}

} // namespace
} // namespace staywake
