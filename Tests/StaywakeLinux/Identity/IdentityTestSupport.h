#pragma once

#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace staywake::testing {

namespace fs = std::filesystem;

/// A private directory tree standing in for "/", owned by the test's user and
/// writable by nobody else.
class TemporaryTree : public TemporaryDirectory {
public:
    TemporaryTree() : TemporaryDirectory("staywake-identity") { fs::permissions(root(), fs::perms(0755)); }

    const fs::path& root() const { return path(); }

    /// A directory below the root with mode 0755, parents included.
    fs::path directory(const fs::path& relative) const {
        const auto made = root() / relative;
        fs::create_directories(made);
        for (auto current = made; current != root(); current = current.parent_path()) {
            fs::permissions(current, fs::perms(0755));
        }
        return made;
    }

    /// A copy of a program at a path below the root (directories made 0755).
    fs::path program(const fs::path& relative, const std::string& source, fs::perms mode = fs::perms(0755)) const {
        directory(relative.parent_path());
        const auto copy = root() / relative;
        fs::copy_file(source, copy, fs::copy_options::overwrite_existing);
        fs::permissions(copy, mode);
        return copy;
    }
};

/// A fixture program (IdentityFixture.cpp) started with `arguments`; it
/// prints "key value" lines, and with "wait" runs until its input closes.
class RunningFixture : public ChildProcess {
public:
    RunningFixture(const std::string& program, const std::vector<std::string>& arguments,
                   const std::optional<fs::path>& workingDirectory = std::nullopt)
        : ChildProcess(argv(program, arguments), options(workingDirectory)) {}

    /// Reads until the line that starts with the key and returns the rest of it.
    std::string value(const std::string& key) const {
        for (auto line = readLine(); !line.empty(); line = readLine()) {
            if (line.starts_with(key + " ")) {
                return line.substr(key.size() + 1);
            }
        }
        return {};
    }

    /// Ends the program's input and waits for it; its exit status.
    int finish() {
        closeInput();
        return waitForExit().value_or(-1000);
    }

private:
    static std::vector<std::string> argv(const std::string& program, const std::vector<std::string>& arguments) {
        std::vector<std::string> words = {program};
        words.insert(words.end(), arguments.begin(), arguments.end());
        return words;
    }
    static ChildOptions options(const std::optional<fs::path>& workingDirectory) {
        ChildOptions made;
        made.workingDirectory = workingDirectory;
        return made;
    }
};

} // namespace staywake::testing
