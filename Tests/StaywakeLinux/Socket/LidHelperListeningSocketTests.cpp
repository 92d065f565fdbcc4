#include "StaywakeLinux/Socket/LidHelperListeningSocket.h"
#include "StaywakeLinux/Socket/SeqpacketSocket.h"
#include "StaywakeLinux/SystemError.h"
#include "Support/Mailbox.h"
#include "Support/TemporaryDirectory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

namespace staywake {
namespace {

using testing::TemporaryDirectory;

mode_t modeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status.st_mode;
}

int errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const SystemError& error) {
        return error.errorNumber();
    }
    return 0;
}

TEST(LidHelperListeningSocket, BindsInAFreshDirectoryThatEveryUserCanReach) {
    TemporaryDirectory directory;
    const std::string path = (directory.path() / "staywake/lidhelper.sock").string();
    const mode_t oldMask = ::umask(077);
    UniqueFd listening = LidHelperListeningSocket::bound(path);
    ::umask(oldMask);

    EXPECT_EQ(modeOf((directory.path() / "staywake").string()) & 07777, 0755u);
    EXPECT_TRUE(S_ISSOCK(modeOf(path)));
    EXPECT_EQ(modeOf(path) & 0777, 0666u);
    EXPECT_EQ(::sd_is_socket_unix(listening.get(), SOCK_SEQPACKET, 1, path.c_str(), 0), 1);
    EXPECT_NE(::fcntl(listening.get(), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_NE(::fcntl(listening.get(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NO_THROW(SeqpacketSocket::connect(path));
}

TEST(LidHelperListeningSocket, ReplacesOnlyASocketNobodyListensOn) {
    TemporaryDirectory directory;
    const std::string path = (directory.path() / "lidhelper.sock").string();
    { UniqueFd earlier = LidHelperListeningSocket::bound(path); } // closed, but the file stays, as after a crash
    UniqueFd listening;
    ASSERT_NO_THROW(listening = LidHelperListeningSocket::bound(path));

    EXPECT_EQ(errorOf([&] { LidHelperListeningSocket::bound(path); }), EADDRINUSE);
    EXPECT_NO_THROW(SeqpacketSocket::connect(path)); // the live one is untouched

    const std::string regularFile = (directory.path() / "not-a-socket").string();
    std::ofstream(regularFile) << "keep me";
    EXPECT_EQ(errorOf([&] { LidHelperListeningSocket::bound(regularFile); }), EEXIST);
    EXPECT_TRUE(S_ISREG(modeOf(regularFile)));
}

TEST(LidHelperListeningSocket, RefusesADirectoryOthersCanChangeAndABadPath) {
    TemporaryDirectory directory;
    const std::string shared = (directory.path() / "shared").string();
    ASSERT_EQ(::mkdir(shared.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    EXPECT_EQ(errorOf([&] { LidHelperListeningSocket::bound(shared + "/lidhelper.sock"); }), EPERM);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    EXPECT_EQ(errorOf([&] { LidHelperListeningSocket::bound(shared + "/lidhelper.sock"); }), EPERM);

    EXPECT_EQ(errorOf([&] { LidHelperListeningSocket::bound("relative.sock"); }), ENAMETOOLONG);
    EXPECT_EQ(
        errorOf([&] { LidHelperListeningSocket::bound((directory.path() / std::string(120, 'x')).string()); }),
        ENAMETOOLONG);
}

/// Runs `check` in a child process that was handed `passed` the way systemd
/// hands a socket unit's socket to its service; returns the child's exit status.
int inActivatedChild(int passed, const std::function<int()>& check) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::dup2(passed, SD_LISTEN_FDS_START) < 0) {
            ::_exit(100);
        }
        ::setenv("LISTEN_PID", std::to_string(::getpid()).c_str(), 1);
        ::setenv("LISTEN_FDS", "1", 1);
        int status = 101;
        try {
            status = check();
        } catch (...) {
            status = 102;
        }
        ::_exit(status);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

TEST(LidHelperListeningSocket, TakesTheSocketSystemdPassedAndOnlyTheRightKind) {
    TemporaryDirectory directory;
    const std::string path = (directory.path() / "activated.sock").string();
    UniqueFd activated = LidHelperListeningSocket::bound(path);
    ASSERT_EQ(::fcntl(activated.get(), F_SETFD, 0), 0); // systemd passes it without close-on-exec

    EXPECT_EQ(inActivatedChild(activated.get(),
                               [&] {
                                   // The path given is not bound: the passed socket wins.
                                   UniqueFd socket = LidHelperListeningSocket::activatedOrBound(
                                       (directory.path() / "other.sock").string());
                                   const bool isPassed = socket.get() == SD_LISTEN_FDS_START;
                                   const bool closeOnExec = (::fcntl(socket.get(), F_GETFD) & FD_CLOEXEC) != 0;
                                   const bool environmentCleared = ::getenv("LISTEN_FDS") == nullptr;
                                   return isPassed && closeOnExec && environmentCleared ? 0 : 1;
                               }),
              0);
    EXPECT_FALSE(std::filesystem::exists((directory.path() / "other.sock").string()));

    UniqueFd stream(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string streamPath = (directory.path() / "stream.sock").string();
    std::memcpy(address.sun_path, streamPath.c_str(), streamPath.size());
    ASSERT_EQ(::bind(stream.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(stream.get(), 1), 0);
    EXPECT_EQ(inActivatedChild(stream.get(),
                               [&] {
                                   try {
                                       LidHelperListeningSocket::activatedOrBound(
                                           (directory.path() / "other.sock").string());
                                   } catch (const SystemError& error) {
                                       return error.errorNumber() == ENOTSOCK ? 0 : 2;
                                   }
                                   return 1;
                               }),
              0);
    EXPECT_FALSE(std::filesystem::exists((directory.path() / "other.sock").string()));
}

} // namespace
} // namespace staywake
