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

TEST(ProcessExecutable, TheLaunchedPathIsThePathAsLaunchedAndTheRunningFileTheFileItRuns) {
    testing::TemporaryTree tree;
    const auto program = tree.program("opt/staywake/Contents/Helpers/helper", FIXTURE_HELPER);
    const auto link = tree.directory("usr/bin") / "helper";
    fs::create_symlink(program, link);
    const struct {
        std::string command;
        std::optional<fs::path> workingDirectory;
        std::string launched;
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
        EXPECT_EQ(fixture.value("launched"), c.launched) << c.command;
        EXPECT_EQ(fixture.value("file"), fileOf(program)) << c.command;
        EXPECT_EQ(fixture.finish(), 0) << c.command;
    }
    // Here the exec path is whatever ran the tests: only the fallback can be checked.
    const auto path = ProcessExecutable::path();
    ASSERT_TRUE(path && path->starts_with('/'));
    EXPECT_EQ(fileOf(ProcessExecutable::launchedPath(path).value_or("")), fileOf("/proc/self/exe"));
}

} // namespace
} // namespace staywake
