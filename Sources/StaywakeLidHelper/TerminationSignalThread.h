#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace staywake {

/// Waits for SIGTERM on a thread of its own and calls a handler for the first
/// one. SIGTERM must be blocked in every thread, which `blockInThisThread`
/// does for the calling thread and every thread it creates afterwards: call it
/// first thing in main. Later SIGTERMs stay blocked and pending, so they are
/// ignored; every other signal keeps its default action.
class TerminationSignalThread {
public:
    /// Throws SystemError.
    static void blockInThisThread();

    /// Starts the thread; `handler` runs on it. Throws SystemError.
    explicit TerminationSignalThread(std::function<void()> handler);
    /// Stops waiting without calling the handler (unless it already ran).
    ~TerminationSignalThread();
    TerminationSignalThread(const TerminationSignalThread&) = delete;
    TerminationSignalThread& operator=(const TerminationSignalThread&) = delete;

private:
    std::atomic<bool> closing_{false};
    std::thread thread_;
};

} // namespace staywake
