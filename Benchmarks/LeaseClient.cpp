// The app's client of the lid helper, its SocketLidSleepBlocker, driven for
// the benchmarks on a poll loop of its own as the main thread.
//   StaywakeLeaseBench SOCKET HELPER_PROGRAM hold
//       renews a 30 s lease every 10 s, as the app does, printing "granted"
//       and the wall-clock time after each renewal, until standard input
//       closes; then gives the lease back.
//   StaywakeLeaseBench SOCKET HELPER_PROGRAM renew N
//       makes N renewals one after the other and prints, as one JSON line,
//       the round trip's p50, p99 and max in ms (from the call to its
//       completion on the main thread), and this process's open descriptors
//       and RSS (KiB) before and after; then gives the lease back.
//   StaywakeLeaseBench spawn PMSET N
//       runs `PMSET -g` N times, one after the other, through the helper's
//       own command runner, and prints the p50 and p99 in ms as one JSON line:
//       the part of a renewal that starting pmset takes, for comparison.
// HELPER_PROGRAM is the helper's program file, which the client holds to the
// helper requirement, as the app holds the one in its bundle. The client
// carries the app's identity, so the helper accepts it from a root-owned
// build tree.
#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeCore/LidHelper/LidSleepLease.h"
#include "StaywakeLidHelper/PollMainLoop.h"
#include "StaywakeLinux/Identity/CodeSigningIdentity.h"
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"
#include "StaywakeLinux/Lid/SocketLidSleepBlocker.h"
#include "ZorIdiDurirad/BoundedCommand.h"
#include "ZorIdiDurirad/FileHashCommand.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace staywake;
using Clock = std::chrono::steady_clock;

/// The helper is installed and enabled: the benchmark starts it itself.
class InstalledHelper final : public LidHelperRegistration {
public:
    void readStatus(StatusHandler handler) const override { handler(LidHelperStatus::enabled); }
    void registerHelper(Finished finished) override { finished(nullptr); }
};

Date now() {
    return Date{std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count()};
}

std::string describe(const std::optional<LidSleepBlockerError>& error) {
    return error ? std::string("failed: ") + error->what() : "granted";
}

std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:")) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

class Bench {
public:
    Bench(PollMainLoop& loop, std::shared_ptr<SocketLidSleepBlocker> blocker)
        : loop_(loop), blocker_(std::move(blocker)) {}

    /// Renews now and every renewal interval until standard input closes.
    void hold() {
        if (finished_) {
            return;
        }
        blocker_->renew(now() + LidSleepLease::duration, [this](std::optional<LidSleepBlockerError> error) {
            if (error) {
                finish(describe(error), 1);
                return;
            }
            std::printf("granted %.6f\n", now().secondsSince1970);
            std::fflush(stdout);
            loop_.perform(LidSleepLease::renewalInterval, [this] { hold(); });
        });
    }

    void measure(long count) {
        blocker_->renew(now() + LidSleepLease::duration, [this, count](std::optional<LidSleepBlockerError> error) {
            if (error) {
                finish(describe(error), 1);
                return;
            }
            // The samples' own pages are made resident first, so that they do
            // not count as the client's growth.
            milliseconds_.resize(static_cast<std::size_t>(count));
            milliseconds_.clear();
            descriptorsBefore_ = openDescriptors();
            residentBefore_ = residentKiB();
            next(count);
        });
    }

    /// Gives the lease back, says `outcome` unless empty, and ends the loop.
    void finish(const std::string& outcome, int status) {
        if (finished_) {
            return;
        }
        finished_ = true;
        if (!outcome.empty()) {
            std::cout << outcome << std::endl;
        }
        blocker_->revoke([this, status](std::optional<LidSleepBlockerError>) { loop_.quit(status); });
    }

private:
    void next(long left) {
        if (left == 0) {
            report();
            finish("", 0);
            return;
        }
        const auto started = Clock::now();
        blocker_->renew(
            now() + LidSleepLease::duration, [this, left, started](std::optional<LidSleepBlockerError> error) {
                milliseconds_.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
                if (error) {
                    finish("renewal " + std::to_string(milliseconds_.size()) + ": " + describe(error), 1);
                    return;
                }
                next(left - 1);
            });
    }

    void report() {
        std::sort(milliseconds_.begin(), milliseconds_.end());
        const auto at = [&](double fraction) {
            return milliseconds_[std::min(
                milliseconds_.size() - 1,
                static_cast<std::size_t>(fraction * static_cast<double>(milliseconds_.size())))];
        };
        std::printf("{\"renewals\": %zu, \"p50_ms\": %.3f, \"p99_ms\": %.3f, \"max_ms\": %.3f, "
                    "\"client_fds_before\": %zu, \"client_fds_after\": %zu, "
                    "\"client_rss_before\": %ld, \"client_rss_after\": %ld}\n",
                    milliseconds_.size(), at(0.5), at(0.99), milliseconds_.back(), descriptorsBefore_,
                    openDescriptors(), residentBefore_, residentKiB());
        std::fflush(stdout);
    }

    PollMainLoop& loop_;
    std::shared_ptr<SocketLidSleepBlocker> blocker_;
    bool finished_ = false;
    std::vector<double> milliseconds_;
    std::size_t descriptorsBefore_ = 0;
    long residentBefore_ = 0;
};

int spawnPmset(const std::string& program, long count) {
    std::vector<double> milliseconds;
    for (long i = 0; i < count; ++i) {
        const auto started = Clock::now();
        if (BoundedCommand::run(program, {"-g"}, LidSleepLease::readTimeout).status != 0) {
            std::cerr << "pmset -g failed\n";
            return 1;
        }
        milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    const auto at = [&](double fraction) {
        return milliseconds[std::min(
            milliseconds.size() - 1,
            static_cast<std::size_t>(fraction * static_cast<double>(milliseconds.size())))];
    };
    std::printf("{\"pmset_spawn_p50_ms\": %.3f, \"pmset_spawn_p99_ms\": %.3f}\n", at(0.5), at(0.99));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "spawn") {
        return spawnPmset(argv[2], std::stol(argv[3]));
    }
    const std::string mode = argc >= 4 ? argv[3] : "";
    if (!((argc == 4 && mode == "hold") || (argc == 5 && mode == "renew"))) {
        std::cerr << "usage: StaywakeLeaseBench SOCKET HELPER_PROGRAM hold | SOCKET HELPER_PROGRAM renew N"
                     " | spawn PMSET N\n";
        return 2;
    }
    PollMainLoop loop([](const std::string& failure) { std::cerr << "failed: " << failure << '\n'; });
    SocketLidSleepBlocker::Helper helper;
    helper.socketPath = argv[1];
    helper.programPath = argv[2];
    // Judged as the app judges it, by the hasher beside it.
    const FileHashCommand hashes(FileHashCommand::pathBeside(helper.programPath), nullptr,
                                 [](const std::string& line) { std::cerr << line << '\n'; });
    helper.inspector = std::make_shared<const ElfNoteCodeSigning>(TrustAnchor{}, hashes.hasher());
    auto blocker = std::make_shared<SocketLidSleepBlocker>(
        std::make_shared<InstalledHelper>(),
        LidHelperService::codeRequirement(LidHelperService::label, CodeSigningIdentity::currentTeamIdentifier()),
        LidSleepLease::replyTimeout, std::shared_ptr<MainRunLoop>(&loop, [](MainRunLoop*) {}), helper);
    Bench bench(loop, blocker);
    if (mode == "hold") {
        loop.watch(UniqueFd(::dup(STDIN_FILENO)), [&] {
            char byte = 0;
            if (::read(STDIN_FILENO, &byte, 1) <= 0) {
                bench.finish("", 0);
            }
        });
        bench.hold();
    } else {
        bench.measure(std::stol(argv[4]));
    }
    return loop.run();
}
