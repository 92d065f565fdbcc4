#include "StaywakeLinux/LoginItem/XdgAutostartLoginItem.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>

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

std::ptrdiff_t filesIn(const fs::path& folder) {
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

struct AutostartTest : ::testing::Test {
    testing::TemporaryDirectory tree{"staywake-autostart"};
    fs::path home = tree.path() / "home";
    fs::path configHome = tree.path() / "config" / "nested";
    fs::path program = home / ".local/lib/staywake/Staywake.app/Contents/bin/Staywake";
    fs::path entryFile = configHome / "autostart/com.staywake.app.desktop";
    XdgAutostartLoginItem item{configHome, program, home};
};

TEST_F(AutostartTest, RegisteringWritesAnEntryThatStartsThisInstallationAndUnregisteringRemovesIt) {
    EXPECT_EQ(item.state(), LoginItemState::disabled);
    item.registerItem();
    EXPECT_EQ(item.state(), LoginItemState::enabled);
    const std::string entry = readFile(entryFile);
    EXPECT_NE(entry.find("\nExec=\"" + program.string() + "\"\n"), std::string::npos) << entry;
    // Missing folders are created private; the entry itself is readable; no temporary file is left.
    EXPECT_EQ(fs::status(configHome / "autostart").permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(entryFile).permissions() & fs::perms::all, fs::perms(0644));
    EXPECT_EQ(filesIn(configHome / "autostart"), 1);

    item.unregisterItem();
    EXPECT_FALSE(fs::exists(entryFile));
    EXPECT_EQ(item.state(), LoginItemState::disabled);
    item.unregisterItem(); // nothing there: still fine

    XdgAutostartLoginItem(configHome, "bin/Staywake", home).registerItem();
    EXPECT_NE(readFile(entryFile).find("\nExec=\"" + (fs::current_path() / "bin/Staywake").string() + "\"\n"),
              std::string::npos)
        << "a relative program is named absolutely";
}

TEST_F(AutostartTest, ReadsTheEntryTheWayTheSessionDoes) {
    const std::pair<const char*, LoginItemState> cases[] = {
        {"[Desktop Entry]\nType=Application\nExec=x\n", LoginItemState::enabled},
        {"[Desktop Entry]\nExec=x\nHidden=true\n", LoginItemState::disabled},
        {"[Desktop Entry]\nHidden = true\n", LoginItemState::disabled},
        {"[Desktop Entry]\nHidden=1\n", LoginItemState::disabled},
        {"[Desktop Entry]\nHidden=true\nHidden=false\n", LoginItemState::enabled},
        {"[Desktop Entry]\n# Hidden=true\n", LoginItemState::enabled},
        {"[Desktop Entry]\nHidden[de]=true\n", LoginItemState::enabled},
        {"[Desktop Entry]\nExec=x\n[Desktop Action quit]\nHidden=true\n", LoginItemState::enabled},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", LoginItemState::disabled},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=maybe\n", LoginItemState::enabled},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\nX-GNOME-Autostart-enabled=true\n",
         LoginItemState::enabled},
    };
    for (const auto& [contents, expected] : cases) {
        writeFile(entryFile, contents);
        EXPECT_EQ(item.state(), expected) << contents;
    }
    fs::remove(entryFile);
    fs::create_directory(entryFile);
    EXPECT_EQ(item.state(), LoginItemState::disabled) << "a folder in the entry's place starts nothing";
}

TEST_F(AutostartTest, RegisteringKeepsTheUsersOwnKeysGroupsAndComments) {
    writeFile(entryFile, "# mine\n[Desktop Entry]\nExec=/old/place/Staywake\nX-GNOME-Autostart-Delay=10\n"
                         "Name[de]=Wachbleiben\nX-GNOME-Autostart-enabled=false\nHidden=true\n"
                         "[Desktop Action quit]\nExec=staywake --quit\n");
    item.registerItem();
    EXPECT_EQ(item.state(), LoginItemState::enabled);
    EXPECT_EQ(readFile(entryFile), "# mine\n" + XdgAutostartLoginItem::desktopEntry(program) +
                                       "X-GNOME-Autostart-Delay=10\nName[de]=Wachbleiben\n"
                                       "[Desktop Action quit]\nExec=staywake --quit\n");
}

TEST_F(AutostartTest, QuotesTheProgramForTheExecKeyOrRefusesOneThatCannotBeNamed) {
    const std::pair<const char*, const char*> cases[] = {
        {"/home/ann/My Apps/Staywake", R"("/home/ann/My Apps/Staywake")"},
        {"/opt/a\"b", R"("/opt/a\\"b")"},
        {"/opt/$HOME`id`", R"("/opt/\\$HOME\\`id\\`")"},
        {"/opt/back\\slash", R"("/opt/back\\\\slash")"},
        {"/opt/100%/Staywake", R"("/opt/100%%/Staywake")"},
        {"/opt/caf\xc3\xa9/Staywake", "\"/opt/caf\xc3\xa9/Staywake\""},
    };
    for (const auto& [path, exec] : cases) {
        EXPECT_NE(XdgAutostartLoginItem::desktopEntry(path).find("\nExec=" + std::string(exec) + "\n"),
                  std::string::npos)
            << path;
    }
    for (const char* bad : {"/opt/a\nb", "/opt/a\tb", "/opt/\xff\xfe", "/opt/\xc3", "/opt/\xed\xa0\x80"}) {
        XdgAutostartLoginItem badItem(configHome, bad, home);
        EXPECT_NE(failureOf([&] { badItem.registerItem(); }).find("the app's location"), std::string::npos) << bad;
        EXPECT_FALSE(fs::exists(entryFile));
    }
}

TEST_F(AutostartTest, FailuresNameThePathAndTheReason) {
    // Works as root too: no permission bits involved.
    writeFile(configHome, "a file where the configuration folder should be");
    EXPECT_EQ(failureOf([&] { item.registerItem(); }), "Could not create the autostart folder " +
                                                           (configHome / "autostart").string() +
                                                           ": Not a directory");
    fs::remove(configHome);
    fs::create_directories(entryFile / "occupied");
    EXPECT_EQ(failureOf([&] { item.registerItem(); }),
              "Could not write the autostart entry " + entryFile.string() + ": Is a directory");
    EXPECT_EQ(filesIn(configHome / "autostart"), 1) << "the temporary file was left behind";
    EXPECT_EQ(failureOf([&] { item.unregisterItem(); }),
              "Could not remove the autostart entry " + entryFile.string() + ": Is a directory");
}

TEST_F(AutostartTest, IsAtAStableLocationOnlyUnderAnInstallPrefixAfterResolvingLinks) {
    writeFile(program, "program");
    const fs::path elsewhere = tree.path() / "Downloads/Staywake.app/Contents/bin/Staywake";
    writeFile(elsewhere, "program");
    fs::create_directories(home / ".local/bin");
    fs::create_symlink(program, tree.path() / "to-installed");
    fs::create_symlink(elsewhere, home / ".local/bin/to-downloads");
    const std::pair<fs::path, bool> cases[] = {
        {"/usr/lib/staywake/Staywake.app/Contents/bin/Staywake", true},
        {"/opt/Staywake.app/Contents/bin/Staywake", true},
        {"/optional/Staywake.app/Contents/bin/Staywake", false},
        {program, true},
        {home / ".localother/Staywake", false},
        {elsewhere, false},
        {tree.path() / "to-installed", true},      // a link to an installed copy
        {home / ".local/bin/to-downloads", false}, // a link in the prefix pointing out of it
        {home / ".local/../Downloads/Staywake", false},
    };
    for (const auto& [path, stable] : cases) {
        EXPECT_EQ(XdgAutostartLoginItem(configHome, path, home).isAtStableLocation(), stable) << path;
    }
}

TEST_F(AutostartTest, ForTheCurrentUserWritesIntoTheUsersConfigurationFolder) {
    ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1); // no other test here reads it
    XdgAutostartLoginItem::forCurrentUser("/opt/x").registerItem();
    EXPECT_TRUE(fs::is_regular_file(entryFile));
}

} // namespace
} // namespace staywake
