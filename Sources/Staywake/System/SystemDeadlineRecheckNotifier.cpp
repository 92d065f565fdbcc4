#include "Staywake/System/SystemDeadlineRecheckNotifier.h"

#include "StaywakeLinux/SystemError.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <sys/timerfd.h>
#include <unistd.h>
#include <utility>

namespace staywake {

namespace {

const QString login1Service = QStringLiteral("org.freedesktop.login1");
const QString login1Path = QStringLiteral("/org/freedesktop/login1");
const QString login1Manager = QStringLiteral("org.freedesktop.login1.Manager");
const QString prepareForSleepSignal = QStringLiteral("PrepareForSleep");

} // namespace

SystemDeadlineRecheckNotifier::SystemDeadlineRecheckNotifier(QDBusConnection systemBus)
    : systemBus_(std::move(systemBus)),
      clockSetDescriptor_(::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC)) {
    if (!clockSetDescriptor_) {
        throw SystemError("could not create a timer to watch the wall clock", errno);
    }
    if (!armClockSetWatch()) {
        throw SystemError("could not arm the timer that watches the wall clock", errno);
    }
    clockSetWatch_ = std::make_unique<QSocketNotifier>(clockSetDescriptor_.get(), QSocketNotifier::Read);
    connect(clockSetWatch_.get(), &QSocketNotifier::activated, this, [this] { clockSetDescriptorReadable(); });
    // Without logind (or a bus) only resume goes unnoticed by this path; the
    // clock-set descriptor still covers clock changes.
    systemBus_.connect(login1Service, login1Path, login1Manager, prepareForSleepSignal, this,
                       SLOT(prepareForSleep(bool)));
}

SystemDeadlineRecheckNotifier::~SystemDeadlineRecheckNotifier() {
    systemBus_.disconnect(login1Service, login1Path, login1Manager, prepareForSleepSignal, this,
                          SLOT(prepareForSleep(bool)));
    // The watch goes before the descriptor it watches.
    clockSetWatch_.reset();
}

void SystemDeadlineRecheckNotifier::observe(Handler handler) { handler_ = std::move(handler); }

void SystemDeadlineRecheckNotifier::prepareForSleep(bool starting) {
    if (!starting) {
        notify();
    }
}

bool SystemDeadlineRecheckNotifier::armClockSetWatch() {
    itimerspec endOfTime{};
    endOfTime.it_value.tv_sec = std::numeric_limits<time_t>::max();
    return ::timerfd_settime(clockSetDescriptor_.get(), TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &endOfTime,
                             nullptr) == 0;
}

void SystemDeadlineRecheckNotifier::clockSetDescriptorReadable() {
    std::uint64_t expirations = 0;
    const auto result = ::read(clockSetDescriptor_.get(), &expirations, sizeof expirations);
    if (result < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    // ECANCELED is the clock being set; an expiry is the same news from a
    // timer that was armed otherwise. Any other failure would repeat forever,
    // so the watch stops rather than spin.
    const bool event = result >= 0 || errno == ECANCELED;
    if (!event || !armClockSetWatch()) {
        clockSetWatch_->setEnabled(false);
    }
    if (event) {
        notify();
    }
}

void SystemDeadlineRecheckNotifier::notify() {
    // A copy: the handler may observe anew while it runs.
    if (auto handler = handler_) {
        handler();
    }
}

} // namespace staywake
