#include "Staywake/App/SignalIntake.h"

#include "StaywakeLinux/SystemError.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace staywake {

namespace {

// The handler reads this and nothing else; -1 while no intake exists.
std::atomic<int> intakeWriteEnd{-1};

extern "C" void writeSignalNumber(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    const int fd = intakeWriteEnd.load();
    if (fd >= 0) {
        // A full pipe already holds a wake-up for the loop; dropping this one loses nothing.
        [[maybe_unused]] const auto written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

SignalIntake::SignalIntake(const std::vector<int>& signalNumbers, QObject* parent) : QObject(parent) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw SystemError("could not create the signal pipe", errno);
    }
    readEnd_.reset(ends[0]);
    writeEnd_.reset(ends[1]);
    int expected = -1;
    if (!intakeWriteEnd.compare_exchange_strong(expected, writeEnd_.get())) {
        throw std::logic_error("a signal intake already exists");
    }
    notifier_ = new QSocketNotifier(readEnd_.get(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalIntake::drain);

    struct sigaction action {};
    action.sa_handler = writeSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : signalNumbers) {
        struct sigaction old {};
        if (::sigaction(signalNumber, &action, &old) != 0) {
            const int error = errno;
            restore();
            throw SystemError("could not catch signal " + std::to_string(signalNumber), error);
        }
        previous_.emplace_back(signalNumber, old);
    }
}

SignalIntake::~SignalIntake() { restore(); }

void SignalIntake::restore() {
    for (const auto& [signalNumber, old] : previous_) {
        ::sigaction(signalNumber, &old, nullptr);
    }
    previous_.clear();
    int mine = writeEnd_.get();
    intakeWriteEnd.compare_exchange_strong(mine, -1);
}

void SignalIntake::drain() {
    unsigned char numbers[64];
    for (;;) {
        const auto count = ::read(readEnd_.get(), numbers, sizeof numbers);
        if (count <= 0) {
            return;
        }
        for (ssize_t i = 0; i < count; ++i) {
            Q_EMIT received(numbers[i]);
        }
    }
}

} // namespace staywake
