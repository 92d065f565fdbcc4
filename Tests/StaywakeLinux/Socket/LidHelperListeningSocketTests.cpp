#include "StaywakeLinux/Socket/LidHelperListeningSocket.h"
#include "StaywakeLinux/Socket/SeqpacketSocket.h"
#include "StaywakeLinux/SystemError.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace staywake {
namespace {

mode_t modeOf(const std::filesystem::path& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status.st_mode;
}

/// The error number `bound(path)` (or `activatedOrBound`) fails with; 0 when it succeeds.
int errorOf(const std::string& path, bool activated = false) {
    try {
        activated ? LidHelperListeningSocket::activatedOrBound(path) : LidHelperListeningSocket::bound(path);
    } catch (const SystemError& error) {
        return error.errorNumber();
    }
    return 0;
}

class LidHelperListeningSocketTest : public ::testing::Test {
protected:
    testing::TemporaryDirectory directory;
    std::string path = (directory.path() / "lidhelper.sock").string();
};

TEST_F(LidHelperListeningSocketTest, BindsInAFreshDirectoryThatEveryUserCanReach) {
    const std::string nested = (directory.path() / "staywake/lidhelper.sock").string();
    const mode_t oldMask = ::umask(077);
    UniqueFd listening = LidHelperListeningSocket::bound(nested);
    ::umask(oldMask);
    EXPECT_EQ(modeOf(directory.path() / "staywake") & 07777, 0755u);
    EXPECT_EQ(modeOf(nested), S_IFSOCK | 0666u);
    EXPECT_EQ(::sd_is_socket_unix(listening.get(), SOCK_SEQPACKET, 1, nested.c_str(), 0), 1);
    EXPECT_NE(::fcntl(listening.get(), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_NE(::fcntl(listening.get(), F_GETFL) & O_NONBLOCK, 0);
}

TEST_F(LidHelperListeningSocketTest, ReplacesOnlyASocketNobodyListensOnInADirectoryOnlyItsOwnerCanChange) {
    { UniqueFd earlier = LidHelperListeningSocket::bound(path); } // closed, but the file stays, as after a crash
    UniqueFd listening = LidHelperListeningSocket::bound(path);
    EXPECT_EQ(errorOf(path), EADDRINUSE);
    EXPECT_NO_THROW(SeqpacketSocket::connect(path)); // the live one is untouched

    const auto regularFile = directory.path() / "not-a-socket";
    testing::writeFile(regularFile, "keep me");
    EXPECT_EQ(errorOf(regularFile.string()), EEXIST);
    EXPECT_TRUE(S_ISREG(modeOf(regularFile)));

    const auto shared = directory.path() / "shared";
    for (const auto mode : {std::filesystem::perms(0777), std::filesystem::perms(01777)}) {
        std::filesystem::create_directories(shared);
        std::filesystem::permissions(shared, mode);
        EXPECT_EQ(errorOf((shared / "lidhelper.sock").string()), EPERM);
    }
    EXPECT_EQ(errorOf("relative.sock"), ENAMETOOLONG);
    EXPECT_EQ(errorOf((directory.path() / std::string(120, 'x')).string()), ENAMETOOLONG);
}

/// Hands `passed` to a child as systemd hands a socket unit's socket to its
/// service, and runs `check` there; the child's exit status.
int inActivatedChild(int passed, const std::function<int()>& check) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(passed, SD_LISTEN_FDS_START);
        ::setenv("LISTEN_PID", std::to_string(::getpid()).c_str(), 1);
        ::setenv("LISTEN_FDS", "1", 1);
        ::_exit(check());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

TEST_F(LidHelperListeningSocketTest, TakesTheSocketSystemdPassedAndOnlyTheRightKind) {
    UniqueFd activated = LidHelperListeningSocket::bound(path);
    ASSERT_EQ(::fcntl(activated.get(), F_SETFD, 0), 0); // systemd passes it without close-on-exec
    const std::string other = (directory.path() / "other.sock").string();
    const auto takesIt = [&] {
        UniqueFd socket = LidHelperListeningSocket::activatedOrBound(other);
        const bool closeOnExec = (::fcntl(socket.get(), F_GETFD) & FD_CLOEXEC) != 0;
        return socket.get() == SD_LISTEN_FDS_START && closeOnExec && ::getenv("LISTEN_FDS") == nullptr ? 0 : 1;
    };
    EXPECT_EQ(inActivatedChild(activated.get(), takesIt), 0);

    // A listening stream socket at an address the kernel picks.
    UniqueFd stream(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sa_family_t anyAddress = AF_UNIX;
    ASSERT_EQ(::bind(stream.get(), reinterpret_cast<const sockaddr*>(&anyAddress), sizeof anyAddress), 0);
    ASSERT_EQ(::listen(stream.get(), 1), 0);
    EXPECT_EQ(inActivatedChild(stream.get(), [&] { return errorOf(other, true) == ENOTSOCK ? 0 : 1; }), 0);
    EXPECT_FALSE(std::filesystem::exists(other));
}

} // namespace
} // namespace staywake
