#include "ZorIdiDurirad/BoundedCommand.h"

#include "StaywakeCore/Support/RepairedUtf8.h"
#include "StaywakeLinux/Clock/SystemClocks.h"
#include "StaywakeLinux/Socket/UniqueFd.h"
#include "ZorIdiDurirad/ChildProcess.h"
#include "ZorIdiDurirad/CommandFailure.h"
#include "ZorIdiDurirad/CommandInterrupt.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <unistd.h>

namespace staywake {

namespace {

constexpr int checkInterval = 20; // milliseconds between checks of the limit and the interrupt
constexpr std::size_t chunkSize = 16384;

// Reads what the pipe holds now. Bytes past the cap are read and dropped so
// that the program is never blocked on a full pipe; one pass stops after a
// cap's worth of bytes, so a program that writes without end cannot keep the
// runner from checking its limit.
void drain(int fd, std::string& output, bool& reachedEnd) {
    std::array<char, chunkSize> buffer;
    std::size_t readThisPass = 0;
    while (readThisPass < BoundedCommand::outputCap) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count == 0) {
            reachedEnd = true;
            return;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            // EAGAIN: nothing more for now. Anything else cannot recover on a
            // pipe; treating it as the end keeps poll from spinning on it.
            if (errno != EAGAIN) { // EWOULDBLOCK is the same on Linux
                reachedEnd = true;
            }
            return;
        }
        const auto received = static_cast<std::size_t>(count);
        readThisPass += received;
        const std::size_t room = BoundedCommand::outputCap - std::min(output.size(), BoundedCommand::outputCap);
        output.append(buffer.data(), std::min(received, room));
    }
}

} // namespace

std::string BoundedCommand::commandText(const std::string& path, const std::vector<std::string>& arguments) {
    std::string_view name = path;
    while (name.size() > 1 && name.ends_with('/')) {
        name.remove_suffix(1);
    }
    if (const auto slash = name.rfind('/'); slash != std::string_view::npos && name.size() > 1) {
        name.remove_prefix(slash + 1);
    }
    std::string text(name);
    for (const auto& argument : arguments) {
        text += ' ';
        text += argument;
    }
    return text;
}

BoundedCommand::Result BoundedCommand::run(const std::string& path, const std::vector<std::string>& arguments,
                                           double timeout, CommandInterrupt* interrupt, int input) {
    // Both ends close-on-exec, so that a command another thread starts at the
    // same moment cannot inherit the write end and hold back end-of-file; the
    // child gets its own copy on descriptor 1. Only the read end is
    // non-blocking: the program writes to a blocking pipe as usual.
    std::array<int, 2> ends{-1, -1};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0) {
        throw std::system_error(errno != 0 ? errno : EMFILE, std::generic_category(),
                                "could not create a pipe for a command's output");
    }
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    if (::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category(), "could not create a pipe for a command's output");
    }

    const std::int64_t pressesBefore = interrupt != nullptr ? interrupt->currentPressCount() : 0;
    const double start = SystemUptimeProvider().uptime();

    ChildProcess child(path, arguments, writeEnd.get(), input);
    // Our copy of the write end goes, so that end-of-file comes once the
    // program and whatever inherited its output have closed theirs.
    writeEnd.reset();
    const std::string command = commandText(path, arguments);

    std::string output;
    bool reachedEnd = false;
    for (;;) {
        if (!reachedEnd) {
            drain(readEnd.get(), output, reachedEnd);
        }
        // Exit first: a program that has finished is reported as finished even
        // when its limit or an interrupt falls in the same pass.
        if (child.tryReap()) {
            break;
        }
        if (interrupt != nullptr && interrupt->currentPressCount() != pressesBefore) {
            child.stop();
            throw CommandFailure::interrupted(command);
        }
        const double elapsed = SystemUptimeProvider().uptime() - start;
        if (!(elapsed < timeout)) {
            child.stop();
            throw CommandFailure::timedOut(command, timeout);
        }

        // Wait for output, the exit or a press, whichever comes first, but
        // never past the next check.
        std::array<pollfd, 3> waits{};
        nfds_t count = 0;
        if (!reachedEnd) {
            waits[count++] = {readEnd.get(), POLLIN, 0};
        }
        if (child.exitDescriptor() >= 0) {
            waits[count++] = {child.exitDescriptor(), POLLIN, 0};
        }
        const nfds_t interruptSlot = count;
        if (interrupt != nullptr) {
            waits[count++] = {interrupt->wakeDescriptor(), POLLIN, 0};
        }
        const int untilLimit = static_cast<int>(std::min(std::ceil((timeout - elapsed) * 1000), 1e9));
        const int wait = std::clamp(untilLimit, 0, checkInterval);
        if (::poll(waits.data(), count, wait) > 0 && interrupt != nullptr &&
            (waits[interruptSlot].revents & POLLIN) != 0) {
            interrupt->consumeWake();
        }
    }

    if (!reachedEnd) {
        drain(readEnd.get(), output, reachedEnd);
    }
    return Result{child.status(), repairedUtf8(output)};
}

} // namespace staywake
