#include "StaywakeLinux/Identity/ReadOnlyFile.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "ZorIdiDurirad/CommandInterrupt.h"
#include "ZorIdiDurirad/FileHashCommand.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

namespace staywake {
namespace {

using testing::writeProgram;

TEST(FileHashCommand, TakesOnlyExactlyAHashFromAHasherThatAnswersInTime) {
    const testing::TemporaryDirectory folder;
    const auto program = folder.path() / "program";
    testing::writeFile(program, std::string(200000, 'x') + "the program's own bytes");
    const std::string hash = testing::codeDirectoryHashOf(program);
    const auto script = [&](const std::string& name, const std::string& body) {
        return writeProgram(folder.path() / name, "#!/bin/sh\n" + body + "\n");
    };
    struct Case {
        const char* what;
        std::string hasher;
        bool hashes;
        // Generous for a hasher that answers (a sanitizer build on a busy
        // machine starts slowly), short for the one that never does.
        double timeout = 30;
    };
    const Case cases[] = {
        {"the bundle's hasher, whatever the descriptor's position", STAYWAKE_FILE_HASH, true},
        {"a non-zero exit", script("fails", "echo " + hash + "; exit 3"), false},
        {"upper-case digits", script("upper", "echo " + hash + " | tr a-f A-F"), false},
        {"a line more", script("more", "echo " + hash + "; echo"), false},
        {"no newline", script("unended", "printf " + hash), false},
        {"a short hash", script("short", "echo " + hash.substr(1)), false},
        {"a hasher that hangs", script("hangs", "exec sleep 60"), false, 0.5},
        {"no hasher", (folder.path() / "missing").string(), false},
    };
    std::vector<std::string> logged;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto file = ReadOnlyFile::open(program);
        ASSERT_TRUE(file);
        ASSERT_GT(::lseek(file->descriptor(), 0, SEEK_END), 0);
        const FileHashCommand command(
            c.hasher, std::make_shared<CommandInterrupt>(),
            [&](const std::string& line) { logged.push_back(line); }, c.timeout);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(command.hasher()(*file), c.hashes ? std::optional(hash) : std::nullopt);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::duration<double>(c.timeout + 5));
        EXPECT_EQ(logged.size(), c.hashes ? 0U : 1U);
        logged.clear();
    }
}

} // namespace
} // namespace staywake
