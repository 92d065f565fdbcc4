#pragma once

#include "StaywakeCore/Clock/DeadlineRecheckNotifier.h"
#include "StaywakeLinux/Socket/UniqueFd.h"

#include <QDBusConnection>
#include <QObject>
#include <memory>

class QSocketNotifier;

namespace staywake {

/// Asks for a deadline check after the wall clock is set and after resume, on
/// the GUI thread:
/// - a timerfd on CLOCK_REALTIME armed at the end of time with
///   TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, whose read fails with
///   ECANCELED when the clock is set (and, on newer kernels, on resume); it is
///   re-armed after every event;
/// - logind's PrepareForSleep(false) on the given system bus.
/// Each event calls the most recent handler once.
class SystemDeadlineRecheckNotifier final : public QObject, public DeadlineRecheckNotifier {
    Q_OBJECT

public:
    /// Throws SystemError when the timerfd cannot be made.
    explicit SystemDeadlineRecheckNotifier(QDBusConnection systemBus);
    ~SystemDeadlineRecheckNotifier() override;

    void observe(Handler handler) override;

    /// The clock-set descriptor. Tests arm it to fire without setting the
    /// host's clock; the notifier treats any event on it alike.
    int clockSetDescriptor() const { return clockSetDescriptor_.get(); }

private slots:
    void prepareForSleep(bool starting);

private:
    void clockSetDescriptorReadable();
    bool armClockSetWatch();
    void notify();

    QDBusConnection systemBus_;
    UniqueFd clockSetDescriptor_;
    std::unique_ptr<QSocketNotifier> clockSetWatch_;
    Handler handler_;
};

} // namespace staywake
