#include "IdentityTestSupport.h"
#include "StaywakeLinux/Identity/ProcessExecutable.h"

namespace staywake {
namespace {

namespace fs = std::filesystem;

std::string fileOf(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? std::to_string(status.st_dev) + " " + std::to_string(status.st_ino)
                                              : "stat failed";
}

TEST(ProcessExecutable, TheLaunchedPathIsThePathAsLaunchedNotResolved) {
    testing::TemporaryTree tree;
    const auto program = tree.program("opt/staywake/Contents/Helpers/helper", FIXTURE_HELPER);
    const auto link = tree.directory("usr/bin") / "helper";
    fs::create_symlink(program, link);
    const struct {
        std::string command;
        std::optional<fs::path> workingDirectory;
        std::string expected;
    } cases[] = {
        {program.string(), std::nullopt, program.string()},
        {link.string(), std::nullopt, link.string()},
        // A relative exec path is no path to watch; the fixture gives no
        // fallback of its own, so nothing is left.
        {"./helper", program.parent_path(), "-"},
    };
    for (const auto& c : cases) {
        testing::ChildOptions options;
        options.workingDirectory = c.workingDirectory;
        testing::RunningFixture fixture({c.command}, options);
        EXPECT_EQ(fixture.value("launched"), c.expected) << c.command;
        EXPECT_EQ(fixture.finish(), 0) << c.command;
    }
    // Here the exec path is whatever ran the tests: only the fallback can be checked.
    const auto path = ProcessExecutable::path();
    ASSERT_TRUE(path && path->starts_with('/'));
    EXPECT_EQ(fileOf(ProcessExecutable::launchedPath(path).value_or("")), fileOf("/proc/self/exe"));
}

TEST(ProcessExecutable, TheRunningFileIsTheFileTheProcessRuns) {
    testing::TemporaryTree tree;
    const auto program = tree.program("helper", FIXTURE_HELPER);
    testing::RunningFixture fixture({program.string()});
    EXPECT_EQ(fixture.value("file"), fileOf(program));
    EXPECT_EQ(fixture.finish(), 0);
    const auto own = ProcessExecutable::runningExecutableFile();
    ASSERT_TRUE(own.has_value());
    EXPECT_EQ(std::to_string(own->device) + " " + std::to_string(own->inode), fileOf("/proc/self/exe"));
}

} // namespace
} // namespace staywake
