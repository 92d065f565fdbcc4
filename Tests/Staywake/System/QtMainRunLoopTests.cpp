#include "Staywake/System/QtMainRunLoop.h"
#include "Support/MockBusLauncher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <limits>
#include <thread>
#include <vector>

namespace staywake {
namespace {

TEST(QtMainRunLoop, RunsWorkFromAnyThreadOnTheGuiThreadInOrderAndDelayedWorkAfterItsDelay) {
    QtMainRunLoop runLoop(*QCoreApplication::instance());
    std::vector<int> order; // what ran, in turn, negative when not on the GUI thread; 9: the delayed action
    QElapsedTimer elapsed;
    elapsed.start();
    qint64 delayedAfter = -1;
    const auto note = [&](int what) {
        order.push_back(QThread::currentThread() == QCoreApplication::instance()->thread() ? what : -what);
    };
    std::thread worker([&] {
        runLoop.perform(0.2, [&] {
            delayedAfter = elapsed.elapsed();
            note(9);
        });
        for (int i = 1; i <= 3; ++i) {
            runLoop.perform([&, i] { note(i); });
        }
        runLoop.perform(-1, [&] { note(4); });
        runLoop.perform(std::numeric_limits<double>::quiet_NaN(), [&] { note(5); });
    });
    worker.join();
    EXPECT_TRUE(order.empty()) << "perform ran the action on the calling thread";

    ASSERT_TRUE(testing::waitUntil([&] { return order.size() == 6; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5, 9}));
    EXPECT_GE(delayedAfter, 200);
}

} // namespace
} // namespace staywake
