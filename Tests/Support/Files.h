#pragma once

#include <poll.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
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
    if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()) {
        throw std::runtime_error("could not write " + path.string());
    }
}

/// Writes a file as writeFile does and lets its owner run it.
inline std::string writeProgram(const std::filesystem::path& path, std::string_view text) {
    writeFile(path, text);
    std::filesystem::permissions(path, std::filesystem::perms(0750));
    return path.string();
}

/// What a shell command printed; nothing when it failed.
inline std::optional<std::string> commandOutput(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string output;
    char buffer[512];
    for (std::size_t count; pipe && (count = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) {
        output.append(buffer, count);
    }
    return pipe && ::pclose(pipe.release()) == 0 ? std::optional(output) : std::nullopt;
}

/// The first 40 hex digits of the file's SHA-256 by sha256sum (not our code): how a build is named.
inline std::string codeDirectoryHashOf(const std::filesystem::path& path) {
    const auto line = commandOutput("sha256sum '" + path.string() + "'").value_or("");
    if (line.size() < 40) {
        throw std::runtime_error("sha256sum failed on " + path.string());
    }
    return line.substr(0, 40);
}

/// Makes a fifo, through which a program started by a test can say that it has reached a point.
inline std::string makeFifo(const std::filesystem::path& path) {
    if (::mkfifo(path.c_str(), 0600) != 0) {
        throw std::runtime_error("could not create a fifo at " + path.string());
    }
    return path.string();
}

/// Whether `condition` holds within `timeout`, asked every 10 ms: for what
/// only shows by asking again, such as a process table or a bus listing.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (; !condition(); ::poll(nullptr, 0, 10)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
    }
    return true;
}

/// The first line a program writes to `path`, once it has written it whole
/// (the file shows up empty before the write), or nothing within `timeout`.
inline std::optional<std::string> waitForLine(const std::filesystem::path& path,
                                              std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    std::string text;
    if (!eventually([&] { return (text = readFile(path)).find('\n') != std::string::npos; }, timeout)) {
        return std::nullopt;
    }
    return text.substr(0, text.find('\n'));
}

} // namespace staywake::testing
