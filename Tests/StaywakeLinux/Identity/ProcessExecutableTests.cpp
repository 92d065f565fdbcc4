#include "IdentityTestSupport.h"
#include "StaywakeLinux/Identity/ProcessExecutable.h"

namespace staywake {
namespace {

using testing::RunningFixture;
using testing::TemporaryTree;
namespace fs = std::filesystem;

std::string fileOf(const fs::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return "stat failed";
    }
    return std::to_string(status.st_dev) + " " + std::to_string(status.st_ino);
}

TEST(ProcessExecutable, TheLaunchedPathIsThePathAsLaunchedNotResolved) {
    TemporaryTree tree;
    const auto program = tree.program("opt/staywake/Contents/Helpers/helper", FIXTURE_HELPER);
    const auto link = tree.directory("usr/bin") / "helper";
    fs::create_symlink(program, link);

    const struct {
        const char* name;
        std::string command;
        std::optional<fs::path> workingDirectory;
        std::string expected;
    } cases[] = {
        {"absolute", program.string(), std::nullopt, program.string()},
        {"through a link", link.string(), std::nullopt, link.string()},
        // A relative exec path is no path to watch; the fixture gives no process
        // path of its own, so nothing is left.
        {"relative", "./helper", program.parent_path(), "-"},
    };
    for (const auto& c : cases) {
        RunningFixture fixture(c.command, {}, c.workingDirectory);
        EXPECT_EQ(fixture.value("launched"), c.expected) << c.name;
        EXPECT_EQ(fixture.finish(), 0) << c.name;
    }
}

TEST(ProcessExecutable, FallsBackToTheGivenPathWhenTheLaunchWasRelative) {
    // In this process the exec path is whatever ran the tests; only the
    // fallback order can be checked here, against the file that is running.
    const auto path = ProcessExecutable::path();
    ASSERT_TRUE(path.has_value());
    EXPECT_TRUE(path->starts_with('/'));
    const auto launched = ProcessExecutable::launchedPath(path);
    ASSERT_TRUE(launched.has_value());
    EXPECT_EQ(fileOf(*launched), fileOf("/proc/self/exe"));
}

TEST(ProcessExecutable, TheRunningFileStaysTheFileStartedFromAfterAReplacement) {
    TemporaryTree tree;
    const auto program = tree.program("helper", FIXTURE_HELPER);
    const auto startedFrom = fileOf(program);
    RunningFixture fixture(program.string(), {"wait"});
    EXPECT_EQ(fixture.value("file"), startedFrom);

    tree.program("next", FIXTURE_HELPER_REBUILT);
    fs::rename(tree.root() / "next", program);
    ASSERT_NE(fileOf(program), startedFrom);
    EXPECT_EQ(fileOf("/proc/" + std::to_string(fixture.pid()) + "/exe"), startedFrom);
    EXPECT_EQ(fixture.finish(), 0);

    const auto own = ProcessExecutable::runningExecutableFile();
    ASSERT_TRUE(own.has_value());
    EXPECT_EQ(std::to_string(own->device) + " " + std::to_string(own->inode), fileOf("/proc/self/exe"));
}

} // namespace
} // namespace staywake
