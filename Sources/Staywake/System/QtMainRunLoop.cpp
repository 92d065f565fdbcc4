#include "Staywake/System/QtMainRunLoop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace staywake {

void QtMainRunLoop::perform(Action action) {
    QMetaObject::invokeMethod(application_, std::move(action), Qt::QueuedConnection);
}

void QtMainRunLoop::perform(double delaySeconds, Action action) {
    constexpr double longestDelayMilliseconds = std::numeric_limits<int>::max();
    const double milliseconds = std::ceil(delaySeconds * 1000);
    if (!(milliseconds > 0)) {
        perform(std::move(action));
        return;
    }
    const int delay = static_cast<int>(std::min(milliseconds, longestDelayMilliseconds));
    // A timer belongs to the thread that starts it, and the caller's thread may
    // have no event loop: hop to the GUI thread first and start it there.
    QCoreApplication* application = application_;
    perform([application, delay, action = std::move(action)]() mutable {
        QTimer::singleShot(delay, Qt::PreciseTimer, application, std::move(action));
    });
}

} // namespace staywake
