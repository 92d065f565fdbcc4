#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace staywake::testing {

namespace fs = std::filesystem;

/// A private directory tree, owned by the test's user and writable by nobody
/// else, removed afterwards.
class TemporaryTree {
public:
    TemporaryTree() {
        std::string pattern = (fs::temp_directory_path() / "staywake-identity-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        root_ = pattern;
        fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
    }
    ~TemporaryTree() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    TemporaryTree(const TemporaryTree&) = delete;
    TemporaryTree& operator=(const TemporaryTree&) = delete;

    const fs::path& root() const { return root_; }

    /// A directory below the root with mode 0755, parents included.
    fs::path directory(const fs::path& relative) const {
        const auto path = root_ / relative;
        fs::create_directories(path);
        for (auto current = path; current != root_; current = current.parent_path()) {
            fs::permissions(current, fs::perms(0755));
        }
        return path;
    }

    /// A copy of a program at a path below the root (directories made 0755).
    fs::path program(const fs::path& relative, const std::string& source, fs::perms mode = fs::perms(0755)) const {
        directory(relative.parent_path());
        const auto path = root_ / relative;
        fs::copy_file(source, path, fs::copy_options::overwrite_existing);
        fs::permissions(path, mode);
        return path;
    }

private:
    fs::path root_;
};

/// The code directory hash computed by another implementation: the first 40
/// hexadecimal digits of sha256sum's output.
inline std::string sha256sumPrefix(const fs::path& path) {
    const std::string command = "sha256sum '" + path.string() + "'";
    std::unique_ptr<FILE, decltype(&::pclose)> pipe(::popen(command.c_str(), "r"), &::pclose);
    std::array<char, 128> line{};
    if (!pipe || std::fgets(line.data(), line.size(), pipe.get()) == nullptr) {
        throw std::runtime_error("sha256sum failed on " + path.string());
    }
    return std::string(line.data(), 40);
}

/// A fixture program started with pipes on its standard input and output.
class RunningFixture {
public:
    RunningFixture(const std::string& program, const std::vector<std::string>& arguments,
                   const std::optional<fs::path>& workingDirectory = std::nullopt) {
        int input[2];
        int output[2];
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        std::vector<std::string> argvStorage;
        argvStorage.push_back(program);
        argvStorage.insert(argvStorage.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& argument : argvStorage) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            if ((workingDirectory && ::chdir(workingDirectory->c_str()) != 0) ||
                ::dup2(input[0], STDIN_FILENO) < 0 || ::dup2(output[1], STDOUT_FILENO) < 0) {
                ::_exit(126);
            }
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(input[0]);
        ::close(output[1]);
        input_ = input[1];
        output_ = ::fdopen(output[0], "r");
    }
    ~RunningFixture() {
        finish();
    }
    RunningFixture(const RunningFixture&) = delete;
    RunningFixture& operator=(const RunningFixture&) = delete;

    pid_t pid() const { return pid_; }

    /// The next line the program wrote, without its line feed; empty at the end.
    std::string readLine() {
        std::array<char, 4096> line{};
        if (output_ == nullptr || std::fgets(line.data(), line.size(), output_) == nullptr) {
            return {};
        }
        std::string text(line.data());
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        return text;
    }

    /// Reads until the line that starts with the key and returns the rest of it.
    std::string value(const std::string& key) {
        for (auto line = readLine(); !line.empty(); line = readLine()) {
            if (line.starts_with(key + " ")) {
                return line.substr(key.size() + 1);
            }
        }
        return {};
    }

    /// Ends the program's input and waits for it; its exit status.
    int finish() {
        if (input_ >= 0) {
            ::close(input_);
            input_ = -1;
        }
        if (output_ != nullptr) {
            std::fclose(output_);
            output_ = nullptr;
        }
        if (pid_ > 0) {
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            pid_ = -1;
            exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return exitStatus_;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    FILE* output_ = nullptr;
    int exitStatus_ = -1;
};

inline std::string fileText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace staywake::testing
