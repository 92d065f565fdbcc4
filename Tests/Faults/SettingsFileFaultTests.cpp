// The settings file under a full disk and a writer killed at random moments.
#include "StaywakeLinux/Defaults/PlistFileUserDefaults.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

namespace staywake {
namespace {

namespace fs = std::filesystem;

const std::string settingsName = std::string(PlistFileUserDefaults::standardDomain) + ".plist";

/// How many files `folder` holds besides the settings file.
std::ptrdiff_t othersIn(const fs::path& folder) {
    return std::distance(fs::directory_iterator(folder), {}) - (fs::exists(folder / settingsName) ? 1 : 0);
}

TEST(SettingsFileFaults, OnAFullDiskAWriteFailsWithAClearErrorAndThePreviousFileStays) {
    if (::geteuid() != 0) {
        STAYWAKE_SKIP("a full disk is a tiny tmpfs in a private mount namespace, which needs root");
    }
    testing::TemporaryDirectory directory;
    const fs::path folder = directory.path() / "staywake";
    fs::create_directories(folder);
    // Each test runs in a process of its own: the namespace goes with it.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0) {
        STAYWAKE_SKIP(std::string("cannot mount a tmpfs in a private mount namespace: ") + std::strerror(errno));
    }
    PlistFileUserDefaults defaults(folder);
    defaults.set("kept", "before the disk filled");
    std::ofstream(folder / "filler") << std::string(64 * 1024, 'f'); // fails once the disk is full
    defaults.set("lost", std::string(8192, 'x'));
    const std::string problem = defaults.takeProblem().value_or("no problem");
    std::printf("FIGURE full-disk-write %s\n", problem.c_str());
    EXPECT_NE(problem.find("could not be saved to " + (folder / settingsName).string()), std::string::npos);
    EXPECT_NE(problem.find("No space left on device"), std::string::npos) << problem;
    PlistFileUserDefaults reader(folder);
    EXPECT_EQ(reader.object("kept"), PropertyValue(std::string("before the disk filled")));
    EXPECT_EQ(reader.object("lost"), std::nullopt);
    EXPECT_EQ(othersIn(folder), 1) << "the filler alone";
    ::umount2(folder.c_str(), MNT_DETACH);
}

TEST(SettingsFileFaults, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewFileNeverATornOne) {
    testing::TemporaryDirectory directory;
    const fs::path folder = directory.path() / "staywake";
    const std::string padding(48 * 1024, 'p'); // a write long enough to be caught in
    PlistFileUserDefaults(folder).set("padding", padding);
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
        PlistFileUserDefaults(folder).set("count", i);
    }
    const auto write =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    std::mt19937 random(1);
    std::uniform_int_distribution<long> delay(0, write.count() / 10); // up to two writes

    constexpr int kills = 100;
    int caughtBeforeRename = 0;
    int torn = 0;
    for (int round = 0; round < kills; ++round) {
        // The writer says when its first write is done, so that the kill lands among writes, not in its start.
        int firstWrite[2];
        ASSERT_EQ(::pipe(firstWrite), 0);
        const pid_t writer = ::fork();
        if (writer == 0) {
            PlistFileUserDefaults defaults(folder);
            for (int count = 0;; ++count) {
                defaults.set("count", count);
                if (count == 0 && ::write(firstWrite[1], "w", 1) != 1) {
                    ::_exit(1);
                }
            }
        }
        ::close(firstWrite[1]);
        char byte = 0;
        ASSERT_EQ(::read(firstWrite[0], &byte, 1), 1);
        ::close(firstWrite[0]);
        ::usleep(static_cast<useconds_t>(delay(random)));
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
        caughtBeforeRename += othersIn(folder) > 0 ? 1 : 0;
        PlistFileUserDefaults reader(folder);
        const bool whole = reader.object("padding") == PropertyValue(padding) && reader.object("count");
        torn += reader.takeProblem() || !whole ? 1 : 0;
    }
    std::printf("FIGURE torn-after-kill %d of %d kills (%d between writing and renaming)\n", torn, kills,
                caughtBeforeRename);
    EXPECT_EQ(torn, 0);
    EXPECT_GT(caughtBeforeRename, 0) << "no kill landed in a write";
    // What a killed writer left is cleared by the next one.
    PlistFileUserDefaults(folder).set("count", -1);
    EXPECT_EQ(othersIn(folder), 0);
}

} // namespace
} // namespace staywake
