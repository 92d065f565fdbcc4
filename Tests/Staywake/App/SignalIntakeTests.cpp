#include "Staywake/App/SignalIntake.h"

#include <QEventLoop>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace staywake {
namespace {

void (*dispositionOf(int signalNumber))(int) {
    struct sigaction current {};
    sigaction(signalNumber, nullptr, &current);
    return current.sa_handler;
}

TEST(SignalIntake, DeliversEachTerminationSignalOnTheEventLoopAndPutsTheOldHandlingBack) {
    const auto terminationSignals = SignalIntake::terminationSignals();
    std::vector<void (*)(int)> before;
    for (const int signalNumber : terminationSignals) {
        before.push_back(dispositionOf(signalNumber));
    }
    {
        SignalIntake intake;
        EXPECT_THROW(SignalIntake{}, std::logic_error) << "one intake owns the signals";
        std::vector<int> received;
        QEventLoop loop;
        QObject::connect(&intake, &SignalIntake::received, &loop, [&](int signalNumber) {
            received.push_back(signalNumber);
            if (received.size() == terminationSignals.size()) {
                loop.quit();
            }
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        // The process would end here if the handlers were not ours.
        for (const int signalNumber : terminationSignals) {
            std::raise(signalNumber);
        }
        EXPECT_TRUE(received.empty()) << "nothing runs inside the handler";
        loop.exec();
        EXPECT_EQ(received, terminationSignals);
    }
    for (std::size_t i = 0; i < terminationSignals.size(); ++i) {
        EXPECT_EQ(dispositionOf(terminationSignals[i]), before[i]);
    }
    SignalIntake again; // the signals are free again
}

} // namespace
} // namespace staywake
