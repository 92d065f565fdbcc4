#include "StaywakeLidHelper/TerminationSignalThread.h"

#include "StaywakeLinux/SystemError.h"

#include <pthread.h>
#include <signal.h>

#include <system_error>

namespace staywake {
namespace {

sigset_t terminationOnly() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

void TerminationSignalThread::blockInThisThread() {
    const sigset_t set = terminationOnly();
    if (const int error = ::pthread_sigmask(SIG_BLOCK, &set, nullptr); error != 0) {
        throw SystemError("could not block SIGTERM", error);
    }
}

TerminationSignalThread::TerminationSignalThread(std::function<void()> handler) {
    try {
        thread_ = std::thread([this, handler = std::move(handler)] {
            const sigset_t set = terminationOnly();
            int received = 0;
            while (::sigwait(&set, &received) != 0) {
            }
            // The destructor wakes the thread with a SIGTERM of its own.
            if (!closing_) {
                handler();
            }
        });
    } catch (const std::system_error& error) {
        throw SystemError("could not start the SIGTERM thread", error.code().value());
    }
}

TerminationSignalThread::~TerminationSignalThread() {
    closing_ = true;
    // Directed at the thread, the signal wakes its sigwait and nobody else; if
    // the handler already ran, the thread has ended and this does nothing.
    ::pthread_kill(thread_.native_handle(), SIGTERM);
    thread_.join();
}

} // namespace staywake
