#pragma once

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

namespace staywake::testing {

/// The whole contents of a file; empty when there is none.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

/// Makes `bytes` the whole contents of a file, creating missing folders.
inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path());
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) {
        throw std::runtime_error("could not write " + path.string());
    }
}

/// The first 40 hexadecimal digits of the file's SHA-256, as sha256sum (an
/// implementation of its own) prints it: how this platform names a build.
inline std::string codeDirectoryHashOf(const std::filesystem::path& path) {
    const std::string command = "sha256sum '" + path.string() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    char line[128] = {};
    const bool read = pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr;
    if (pipe != nullptr) {
        ::pclose(pipe);
    }
    if (!read || std::strlen(line) < 40) {
        throw std::runtime_error("sha256sum failed on " + path.string());
    }
    return std::string(line, 40);
}

/// Writes a file as writeFile does and lets its owner run it.
inline std::string writeProgram(const std::filesystem::path& path, std::string_view text) {
    writeFile(path, text);
    std::filesystem::permissions(path, std::filesystem::perms(0750));
    return path.string();
}

/// Makes a fifo, through which a program started by a test can say that it
/// has reached a point.
inline std::string makeFifo(const std::filesystem::path& path) {
    if (::mkfifo(path.c_str(), 0600) != 0) {
        throw std::runtime_error("could not create a fifo at " + path.string());
    }
    return path.string();
}

/// Waits (with inotify, not by sleeping) until `path` exists.
inline bool waitForFile(const std::filesystem::path& path,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ::inotify_add_watch(watch, path.parent_path().c_str(), IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool exists = std::filesystem::exists(path);
    while (!exists && std::chrono::steady_clock::now() < deadline) {
        pollfd polled{watch, POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        ::poll(&polled, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        char events[4096];
        while (::read(watch, events, sizeof events) > 0) {
        }
        exists = std::filesystem::exists(path);
    }
    ::close(watch);
    return exists;
}

} // namespace staywake::testing
