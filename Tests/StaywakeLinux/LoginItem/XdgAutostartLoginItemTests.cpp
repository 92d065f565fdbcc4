#include "StaywakeLinux/LoginItem/XdgAutostartLoginItem.h"
#include "StaywakeLinux/SystemError.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace staywake {
namespace {

namespace fs = std::filesystem;

using testing::readFile;
using testing::writeFile;

/// The text of what `attempt` throws; empty when it returns.
template <typename Attempt> std::string failureOf(Attempt attempt) {
    try {
        attempt();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

std::string execLineOf(const std::string& entry) {
    std::istringstream lines(entry);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.starts_with("Exec=")) {
            return line.substr(5);
        }
    }
    return {};
}

struct AutostartFixture : ::testing::Test {
    testing::TemporaryDirectory tree{"staywake-autostart"};
    fs::path home = tree.path() / "home";
    fs::path configHome = tree.path() / "config" / "nested";
    fs::path program = home / ".local/lib/staywake/Staywake.app/Contents/bin/Staywake";
    fs::path entryFile = configHome / "autostart/com.staywake.app.desktop";
    XdgAutostartLoginItem item{configHome, program, home};
};

TEST_F(AutostartFixture, RegisteringWritesAnEntryThatStartsThisInstallationAndUnregisteringRemovesIt) {
    EXPECT_EQ(item.state(), LoginItemState::disabled);

    item.registerItem();
    EXPECT_EQ(item.state(), LoginItemState::enabled);
    const std::string entry = readFile(entryFile);
    EXPECT_TRUE(entry.starts_with("[Desktop Entry]\n")) << entry;
    EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos) << entry;
    EXPECT_EQ(execLineOf(entry), "\"" + program.string() + "\"");
    // Missing folders are created private; the entry itself is readable.
    EXPECT_EQ(fs::status(configHome / "autostart").permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(entryFile).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    // Nothing but the entry is left in the folder (no temporary files).
    EXPECT_EQ(std::distance(fs::directory_iterator(configHome / "autostart"), fs::directory_iterator()), 1);

    item.unregisterItem();
    EXPECT_FALSE(fs::exists(entryFile));
    EXPECT_EQ(item.state(), LoginItemState::disabled);
    item.unregisterItem(); // nothing there: still fine
}

TEST_F(AutostartFixture, ReadsTheEntryTheWayTheSessionDoes) {
    struct Case {
        const char* contents;
        LoginItemState expected;
    };
    const Case cases[] = {
        {"[Desktop Entry]\nType=Application\nExec=x\n", LoginItemState::enabled},
        {"[Desktop Entry]\nExec=x\nHidden=true\n", LoginItemState::disabled},
        {"[Desktop Entry]\nHidden = true\n", LoginItemState::disabled},
        {"[Desktop Entry]\nHidden=1\n", LoginItemState::disabled},
        {"[Desktop Entry]\nHidden=false\n", LoginItemState::enabled},
        {"[Desktop Entry]\nHidden=true\nHidden=false\n", LoginItemState::enabled},
        {"[Desktop Entry]\n# Hidden=true\n", LoginItemState::enabled},
        {"[Desktop Entry]\nHidden[de]=true\n", LoginItemState::enabled},
        {"[Desktop Entry]\nExec=x\n[Desktop Action quit]\nHidden=true\n", LoginItemState::enabled},
        {"", LoginItemState::enabled},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", LoginItemState::disabled},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled = 0\n", LoginItemState::disabled},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=true\n", LoginItemState::enabled},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=maybe\n", LoginItemState::enabled},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\nX-GNOME-Autostart-enabled=true\n",
         LoginItemState::enabled},
        {"[Desktop Entry]\n[Other]\nX-GNOME-Autostart-enabled=false\n", LoginItemState::enabled},
    };
    for (const auto& c : cases) {
        writeFile(entryFile, c.contents);
        EXPECT_EQ(item.state(), c.expected) << c.contents;
    }

    fs::remove(entryFile);
    fs::create_directory(entryFile);
    EXPECT_EQ(item.state(), LoginItemState::disabled) << "a folder in the entry's place starts nothing";
}

TEST_F(AutostartFixture, RegisteringKeepsTheUsersOwnKeysGroupsAndComments) {
    writeFile(entryFile, "# mine\n"
                         "[Desktop Entry]\n"
                         "Exec=/old/place/Staywake\n"
                         "X-GNOME-Autostart-Delay=10\n"
                         "Name[de]=Wachbleiben\n"
                         "X-GNOME-Autostart-enabled=false\n"
                         "Hidden=true\n"
                         "[Desktop Action quit]\n"
                         "Exec=staywake --quit\n");

    item.registerItem();

    EXPECT_EQ(item.state(), LoginItemState::enabled);
    EXPECT_EQ(readFile(entryFile), "# mine\n" + XdgAutostartLoginItem::desktopEntry(program) +
                                       "X-GNOME-Autostart-Delay=10\n"
                                       "Name[de]=Wachbleiben\n"
                                       "[Desktop Action quit]\n"
                                       "Exec=staywake --quit\n");
}

TEST_F(AutostartFixture, NamesARelativeProgramAbsolutely) {
    XdgAutostartLoginItem relative(configHome, "bin/Staywake", home);
    relative.registerItem();
    EXPECT_EQ(execLineOf(readFile(entryFile)), "\"" + (fs::current_path() / "bin/Staywake").string() + "\"");
}

TEST(XdgAutostartLoginItem, QuotesTheProgramForTheExecKey) {
    struct Case {
        const char* program;
        const char* exec;
    };
    const Case cases[] = {
        {"/opt/Staywake/bin/Staywake", R"("/opt/Staywake/bin/Staywake")"},
        {"/home/ann/My Apps/Staywake", R"("/home/ann/My Apps/Staywake")"},
        {"/opt/a\"b", R"("/opt/a\\"b")"},
        {"/opt/$HOME`id`", R"("/opt/\\$HOME\\`id\\`")"},
        {"/opt/back\\slash", R"("/opt/back\\\\slash")"},
        {"/opt/100%/Staywake", R"("/opt/100%%/Staywake")"},
        {"/opt/caf\xc3\xa9/Staywake", "\"/opt/caf\xc3\xa9/Staywake\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(execLineOf(XdgAutostartLoginItem::desktopEntry(c.program)), c.exec) << c.program;
    }
}

TEST_F(AutostartFixture, RefusesAProgramPathThatCannotBeNamedAndWritesNothing) {
    for (const char* bad : {"/opt/a\nb", "/opt/a\tb", "/opt/\xff\xfe", "/opt/\xc3", "/opt/\xed\xa0\x80"}) {
        XdgAutostartLoginItem badItem(configHome, bad, home);
        EXPECT_NE(failureOf([&] { badItem.registerItem(); }).find("the app's location"), std::string::npos) << bad;
        EXPECT_FALSE(fs::exists(entryFile));
    }
}

TEST_F(AutostartFixture, FailuresNameThePathAndTheReason) {
    // Works as root too: no permission bits involved.
    fs::create_directories(configHome.parent_path());
    writeFile(configHome, "a file where the configuration folder should be");
    EXPECT_EQ(failureOf([&] { item.registerItem(); }), "Could not create the autostart folder " +
                                                           (configHome / "autostart").string() +
                                                           ": Not a directory");

    fs::remove(configHome);
    fs::create_directories(entryFile / "occupied");
    EXPECT_EQ(failureOf([&] { item.registerItem(); }),
              "Could not write the autostart entry " + entryFile.string() + ": Is a directory");
    EXPECT_EQ(std::distance(fs::directory_iterator(configHome / "autostart"), fs::directory_iterator()), 1)
        << "the temporary file was left behind";
    EXPECT_EQ(failureOf([&] { item.unregisterItem(); }),
              "Could not remove the autostart entry " + entryFile.string() + ": Is a directory");
}

TEST(XdgAutostartLoginItem, IsAtAStableLocationOnlyUnderAnInstallPrefixAfterResolvingLinks) {
    testing::TemporaryDirectory tree{"staywake-autostart"};
    const fs::path home = tree.path() / "home";
    const fs::path installed = home / ".local/lib/staywake/Staywake.app/Contents/bin/Staywake";
    writeFile(installed, "program");
    const fs::path elsewhere = tree.path() / "Downloads/Staywake.app/Contents/bin/Staywake";
    writeFile(elsewhere, "program");
    fs::create_directories(tree.path() / "links");
    fs::create_symlink(installed, tree.path() / "links/to-installed");
    fs::create_directories(home / ".local/bin");
    fs::create_symlink(elsewhere, home / ".local/bin/to-downloads");

    struct Case {
        fs::path program;
        bool stable;
    };
    const Case cases[] = {
        {"/usr/lib/staywake/Staywake.app/Contents/bin/Staywake", true},
        {"/usr/local/lib/staywake/Staywake.app/Contents/bin/Staywake", true},
        {"/opt/Staywake.app/Contents/bin/Staywake", true},
        {"/optional/Staywake.app/Contents/bin/Staywake", false},
        {"/usrlocal/Staywake", false},
        {installed, true},
        {home / ".localother/Staywake", false},
        {home / "Applications/Staywake", false},
        {elsewhere, false},
        {tree.path() / "links/to-installed", true}, // a link to an installed copy
        {home / ".local/bin/to-downloads", false},  // a link in the prefix pointing out of it
        {home / ".local/../Downloads/Staywake", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(XdgAutostartLoginItem(tree.path() / "config", c.program, home).isAtStableLocation(), c.stable)
            << c.program;
    }
}

TEST(XdgAutostartLoginItem, ForTheCurrentUserWritesIntoTheUsersConfigurationFolder) {
    testing::TemporaryDirectory tree{"staywake-autostart"};
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", (tree.path() / "cfg").c_str(), 1);
    XdgAutostartLoginItem::forCurrentUser("/opt/x").registerItem();
    saved ? ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(fs::is_regular_file(tree.path() / "cfg/autostart/com.staywake.app.desktop"));
}

} // namespace
} // namespace staywake
