#pragma once

#include "StaywakeCore/Clock/MainRunLoop.h"

class QCoreApplication;

namespace staywake {

/// Brings work onto the GUI thread through the application's event queue, so an
/// action also runs while a menu or a modal dialog spins its own loop.
class QtMainRunLoop final : public MainRunLoop {
public:
    explicit QtMainRunLoop(QCoreApplication& application) : application_(&application) {}

    void perform(Action action) override;
    /// A negative or not-a-number delay runs the action as soon as possible.
    void perform(double delaySeconds, Action action) override;

private:
    QCoreApplication* application_;
};

} // namespace staywake
