#pragma once

#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace staywake::testing {

/// A private directory tree standing in for "/", owned by the test's user and
/// writable by nobody else.
class TemporaryTree : public TemporaryDirectory {
public:
    TemporaryTree() : TemporaryDirectory("staywake-identity") { std::filesystem::permissions(root(), perms); }

    const std::filesystem::path& root() const { return path(); }

    /// A directory below the root with mode 0755, parents included.
    std::filesystem::path directory(const std::filesystem::path& relative) const {
        const auto made = root() / relative;
        std::filesystem::create_directories(made);
        for (auto current = made; current != root(); current = current.parent_path()) {
            std::filesystem::permissions(current, perms);
        }
        return made;
    }

    /// A copy of a program at a path below the root, mode 0755.
    std::filesystem::path program(const std::filesystem::path& relative, const std::string& source) const {
        directory(relative.parent_path());
        const auto copy = root() / relative;
        std::filesystem::copy_file(source, copy, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(copy, perms);
        return copy;
    }

private:
    static constexpr auto perms = std::filesystem::perms(0755);
};

/// A fixture program (IdentityFixture.cpp); it prints "key value" lines, and
/// with "wait" runs until its input closes.
class RunningFixture : public ChildProcess {
public:
    using ChildProcess::ChildProcess;

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
};

} // namespace staywake::testing
