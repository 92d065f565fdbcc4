#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace staywake::testing {

/// The launcher of the mocked buses (Tests/Staywake/System/mock_buses.py) as
/// started by tests that do without Qt: its pid (-1 when it could not be
/// started), the pipe to its input (closing it ends the buses), and the system
/// bus address from the line it prints once its services answer (empty when
/// no such line came).
struct LaunchedMockBuses {
    pid_t pid = -1;
    int input = -1;
    std::string systemAddress;
    std::string line;
};

/// Starts the launcher with `arguments` through Debian's python3 (one earlier
/// on PATH may lack dbusmock) and waits up to `timeoutMilliseconds` for its
/// line.
inline LaunchedMockBuses launchMockBuses(const std::string& script, const std::vector<std::string>& arguments,
                                         int timeoutMilliseconds) {
    LaunchedMockBuses launched;
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0) {
        return launched;
    }
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        ::close(toChild[0]);
        ::close(toChild[1]);
        return launched;
    }
    std::vector<std::string> words = {"/usr/bin/python3", script};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    const int spawned = ::posix_spawn(&launched.pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    launched.input = toChild[1];
    if (spawned != 0) {
        launched.pid = -1;
        ::close(fromChild[0]);
        return launched;
    }
    // The launcher prints {"system": ADDRESS, "session": ADDRESS} once its services answer.
    char byte = 0;
    pollfd readable{fromChild[0], POLLIN, 0};
    while (::poll(&readable, 1, timeoutMilliseconds) == 1 && ::read(fromChild[0], &byte, 1) == 1 && byte != '\n') {
        launched.line += byte;
    }
    ::close(fromChild[0]);
    const std::string key = "\"system\": \"";
    const auto start = launched.line.find(key);
    const auto end = start == std::string::npos ? start : launched.line.find('"', start + key.size());
    if (end != std::string::npos) {
        launched.systemAddress = launched.line.substr(start + key.size(), end - start - key.size());
    }
    return launched;
}

} // namespace staywake::testing
