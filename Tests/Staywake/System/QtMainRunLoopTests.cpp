#include "Staywake/System/QtMainRunLoop.h"
#include "Support/MockBusLauncher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <limits>
#include <thread>
#include <vector>

namespace staywake {
namespace {

TEST(QtMainRunLoop, RunsWorkFromAnyThreadOnTheGuiThreadInOrderAndDelayedWorkAfterItsDelay) {
    QtMainRunLoop runLoop(*QCoreApplication::instance());
    std::vector<int> order;
    std::vector<QThread*> threads;
    QElapsedTimer elapsed;
    elapsed.start();
    qint64 delayedAfter = -1;
    std::thread worker([&] {
        runLoop.perform(0.2, [&] {
            delayedAfter = elapsed.elapsed();
            threads.push_back(QThread::currentThread());
        });
        for (int i = 0; i < 5; ++i) {
            runLoop.perform([&, i] {
                order.push_back(i);
                threads.push_back(QThread::currentThread());
            });
        }
        runLoop.perform(-1, [&] { order.push_back(5); });
        runLoop.perform(std::numeric_limits<double>::quiet_NaN(), [&] { order.push_back(6); });
    });
    worker.join();
    EXPECT_TRUE(order.empty()) << "perform ran the action on the calling thread";

    ASSERT_TRUE(testing::waitUntil([&] { return order.size() == 7 && delayedAfter >= 0; }));
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 5), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_GE(delayedAfter, 200);
    EXPECT_EQ(std::count(threads.begin(), threads.end(), QCoreApplication::instance()->thread()), 6);
}

} // namespace
} // namespace staywake
