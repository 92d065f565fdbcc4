#include "pmset/LockHolding.h"

#include "pmset/InhibitorLock.h"
#include "pmset/LogindBus.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <iostream>
#include <string>

namespace staywake {

namespace {

constexpr int handshake = 3;

void answer(const std::string& line) {
    const std::string text = line + "\n";
    // The pmset that asked may have been killed meanwhile: no SIGPIPE, the
    // holder holds on regardless.
    static_cast<void>(::send(handshake, text.data(), text.size(), MSG_NOSIGNAL));
}

} // namespace

int holdNightBrewLock() {
    struct stat status {};
    if (::fstat(handshake, &status) != 0 || !S_ISSOCK(status.st_mode)) {
        std::cerr << "pmset: --hold is how pmset starts its own lock holder, not a command\n";
        return 2;
    }
    char go = 0;
    ssize_t count = 0;
    do {
        count = ::read(handshake, &go, 1);
    } while (count < 0 && errno == EINTR);
    if (count != 1) {
        return 1;
    }
    UniqueFd lock;
    try {
        lock =
            LogindBus().inhibit(NightBrewLock::what, NightBrewLock::who, NightBrewLock::why, NightBrewLock::mode);
    } catch (const std::exception& failure) {
        answer(std::string("failed: ") + failure.what());
        return 1;
    }
    answer("held");
    ::close(handshake);
    // Only errors are reported on the writing end of logind's pipe: POLLERR
    // once logind has closed its end, which ends the lock.
    pollfd closed{lock.get(), 0, 0};
    while (::poll(&closed, 1, -1) < 0 && errno == EINTR) {
    }
    return 0;
}

} // namespace staywake
