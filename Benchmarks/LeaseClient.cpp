// The app's end of the lid helper's lease socket, driven for the benchmarks.
//   StaywakeLeaseBench SOCKET hold
//       renews a 30 s lease every 10 s, as the app does, printing "granted"
//       after the first renewal, until standard input closes; then gives the
//       lease back.
//   StaywakeLeaseBench SOCKET renew N
//       makes N renewals one after the other and prints, as one JSON line,
//       the round trip's p50, p99 and max in ms, and this process's open
//       descriptors and RSS (KiB) before and after; then gives the lease back.
// It carries the app's identity, so the helper accepts it from a root-owned
// build tree.
#include "StaywakeLinux/Socket/LidLeaseClientConnection.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double now() { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); }

/// "granted", "refused: ..." or "failed: ...", once the helper answered.
std::string renew(staywake::LidLeaseClientConnection& connection, double until) {
    std::promise<std::string> outcome;
    connection.renewLease(
        until, [&](std::optional<std::string> text) { outcome.set_value(text ? "refused: " + *text : "granted"); },
        [&](const std::string& reason) { outcome.set_value("failed: " + reason); });
    return outcome.get_future().get();
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

/// Holds the lease until standard input closes, renewing every 10 s.
int hold(staywake::LidLeaseClientConnection& connection) {
    bool first = true;
    while (true) {
        const std::string outcome = renew(connection, now() + 30);
        if (outcome != "granted") {
            std::cout << outcome << std::endl;
            return 1;
        }
        if (first) {
            std::cout << "granted" << std::endl;
            first = false;
        }
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (::poll(&input, 1, 10'000) == 1) {
            char byte = 0;
            if (::read(STDIN_FILENO, &byte, 1) <= 0) {
                return 0;
            }
        }
    }
}

int measure(staywake::LidLeaseClientConnection& connection, long count) {
    const std::string first = renew(connection, now() + 30); // connects
    if (first != "granted") {
        std::cout << first << std::endl;
        return 1;
    }
    const std::size_t descriptorsBefore = openDescriptors();
    const long residentBefore = residentKiB();
    std::vector<double> milliseconds;
    milliseconds.reserve(static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i) {
        const auto started = Clock::now();
        const std::string outcome = renew(connection, now() + 30);
        milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
        if (outcome != "granted") {
            std::cout << "renewal " << i << ": " << outcome << std::endl;
            return 1;
        }
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    const auto at = [&](double fraction) {
        return milliseconds[std::min(milliseconds.size() - 1, static_cast<std::size_t>(fraction * milliseconds.size()))];
    };
    std::printf("{\"renewals\": %ld, \"p50_ms\": %.3f, \"p99_ms\": %.3f, \"max_ms\": %.3f, "
                "\"client_fds_before\": %zu, \"client_fds_after\": %zu, "
                "\"client_rss_before\": %ld, \"client_rss_after\": %ld}\n",
                count, at(0.5), at(0.99), milliseconds.back(), descriptorsBefore, openDescriptors(), residentBefore,
                residentKiB());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc >= 3 ? argv[2] : "";
    if (!((argc == 3 && mode == "hold") || (argc == 4 && mode == "renew"))) {
        std::cerr << "usage: StaywakeLeaseBench SOCKET hold | SOCKET renew N\n";
        return 2;
    }
    staywake::LidLeaseClientConnection connection(argv[1]);
    connection.resume();
    const int status = mode == "hold" ? hold(connection) : measure(connection, std::stol(argv[3]));
    renew(connection, 0); // gives the lease back
    return status;
}
