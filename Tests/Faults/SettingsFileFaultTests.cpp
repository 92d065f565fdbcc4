// The settings file under a full disk and a writer killed at random moments.
#include "StaywakeLinux/Defaults/PlistFileUserDefaults.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace staywake {
namespace {

namespace fs = std::filesystem;
using testing::readFile;

const std::string settingsName = std::string(PlistFileUserDefaults::standardDomain) + ".plist";

/// The names in `folder` other than the settings file.
std::vector<std::string> othersIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename() != settingsName) {
            names.push_back(entry.path().filename().string());
        }
    }
    return names;
}

/// What `body` returns, run in a child process.
std::string inChild(const std::function<std::string()>& body) {
    int ends[2];
    if (::pipe(ends) != 0) {
        return "no pipe";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const std::string text = body();
        ::_exit(::write(ends[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    ::close(ends[1]);
    const std::string text = readFile("/proc/self/fd/" + std::to_string(ends[0]));
    ::close(ends[0]);
    ::waitpid(child, nullptr, 0);
    return text;
}

TEST(SettingsFileFaults, OnAFullDiskAWriteFailsWithAClearErrorAndThePreviousFileStays) {
    if (::geteuid() != 0) {
        STAYWAKE_SKIP("a full disk is a tiny tmpfs in a private mount namespace, which needs root");
    }
    testing::TemporaryDirectory directory;
    const fs::path folder = directory.path() / "staywake";
    fs::create_directories(folder);
    const std::string text = inChild([&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0) {
            return std::string("skip: cannot mount a tmpfs in a private mount namespace: ") + std::strerror(errno);
        }
        PlistFileUserDefaults defaults(folder);
        defaults.set("kept", "before the disk filled");
        const int filler = ::open((folder / "filler").c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string block(4096, 'f');
        while (::write(filler, block.data(), block.size()) > 0) {
        }
        ::close(filler);
        defaults.set("lost", std::string(8192, 'x'));
        PlistFileUserDefaults reader(folder);
        const auto kept = reader.object("kept");
        const auto* keptText = kept ? kept->as<std::string>() : nullptr;
        return defaults.takeProblem().value_or("no problem") + "\n" + (keptText ? *keptText : "nothing") + "\n" +
               (reader.object("lost") ? "lost written" : "lost not written") + "\n" +
               std::to_string(othersIn(folder).size()) + " other files";
    });
    if (text.starts_with("skip: ")) {
        STAYWAKE_SKIP(text.substr(6));
    }
    std::printf("FIGURE full-disk-write %s\n", text.substr(0, text.find('\n')).c_str());
    EXPECT_NE(text.find("could not be saved to " + (folder / settingsName).string()), std::string::npos) << text;
    EXPECT_NE(text.find("No space left on device"), std::string::npos) << text;
    EXPECT_NE(text.find("\nbefore the disk filled\nlost not written\n1 other files"), std::string::npos) << text;
}

TEST(SettingsFileFaults, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewFileNeverATornOne) {
    testing::TemporaryDirectory directory;
    const fs::path folder = directory.path() / "staywake";
    const std::string padding(48 * 1024, 'p'); // a write long enough to be caught in
    {
        PlistFileUserDefaults first(folder);
        first.set("padding", padding);
        const auto started = std::chrono::steady_clock::now();
        for (int i = 0; i < 20; ++i) {
            first.set("count", i);
        }
        const auto write = (std::chrono::steady_clock::now() - started) / 20;
        std::mt19937 random(1);
        std::uniform_int_distribution<long> delay(
            0, std::chrono::duration_cast<std::chrono::microseconds>(2 * write).count());

        constexpr int kills = 100;
        int caughtBeforeRename = 0;
        int torn = 0;
        for (int round = 0; round < kills; ++round) {
            // The writer says when its first write is done, so that the kill
            // lands among writes, not while it is still starting.
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
            caughtBeforeRename += othersIn(folder).empty() ? 0 : 1;
            PlistFileUserDefaults reader(folder);
            const bool whole = reader.object("padding") == PropertyValue(padding) && reader.object("count");
            torn += reader.takeProblem() || !whole ? 1 : 0;
        }
        std::printf("FIGURE torn-after-kill %d of %d kills (%d between writing and renaming)\n", torn, kills,
                    caughtBeforeRename);
        EXPECT_EQ(torn, 0);
        EXPECT_GT(caughtBeforeRename, 0) << "no kill landed in a write";
    }
    // What a killed writer left is cleared by the next one.
    PlistFileUserDefaults(folder).set("count", -1);
    EXPECT_TRUE(othersIn(folder).empty());
}

} // namespace
} // namespace staywake
