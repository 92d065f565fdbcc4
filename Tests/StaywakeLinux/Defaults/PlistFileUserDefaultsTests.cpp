#include "StaywakeLinux/Defaults/PlistFileUserDefaults.h"
#include "StaywakeLinux/Defaults/UserFolders.h"
#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

namespace staywake {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::writeFile;

class PlistFileUserDefaultsTest : public ::testing::Test {
protected:
    std::shared_ptr<PlistFileUserDefaults> open() const {
        return std::make_shared<PlistFileUserDefaults>(directory);
    }

    /// What lies beside the settings file, sorted by contents.
    std::vector<std::string> asideContents() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(directory)) {
            if (entry.path() != file) {
                found.push_back(readFile(entry.path()));
            }
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    /// Every problem reported so far.
    static std::vector<std::string> problems(PlistFileUserDefaults& defaults) {
        std::vector<std::string> taken;
        while (auto problem = defaults.takeProblem()) {
            taken.push_back(*problem);
        }
        return taken;
    }

    testing::TemporaryDirectory root{"staywake-defaults"};
    fs::path directory = root.path() / "config" / "staywake";
    fs::path file = directory / "com.staywake.app.plist";
};

bool sameValue(const PropertyValue& a, const PropertyValue& b) {
    // Not-a-number never equals itself; compare it by kind.
    const auto* x = a.as<double>();
    const auto* y = b.as<double>();
    return x && y && std::isnan(*x) ? std::isnan(*y) : a == b;
}

TEST_F(PlistFileUserDefaultsTest, EveryTypeComesBackAsItWasInAnotherInstanceAndDatesToTheSecond) {
    const std::pair<std::string, PropertyValue> cases[] = {
        {"true", true},
        {"lowest", std::numeric_limits<std::int64_t>::min()},
        {"highest", std::numeric_limits<std::int64_t>::max()},
        {"deadline", 1'700'000'000.123456},
        {"infinite", std::numeric_limits<double>::infinity()},
        {"not a number", std::numeric_limits<double>::quiet_NaN()},
        {"text", "Staywake hält wach – «☕»"},
        {"markup", "<b>&amp;</b> \"quoted\"\ttab\r\nline"},
        {"date", Date{1'700'000'000}},
        {"early date", Date{-1'000'000'000}},
        {"data", PropertyData{{0, 1, 2, 255, 0}}},
        {"empty data", PropertyData{}},
        {"array", PropertyValue::Array{1, 2.5, "three", true, PropertyValue::Array{}}},
        {"dictionary", PropertyValue::Dictionary{{"inner", PropertyValue::Dictionary{{"x", -1}}}, {"", "blank"}}},
    };
    for (const auto& [key, value] : cases) {
        open()->set(key, value);
    }
    const auto reader = open();
    for (const auto& [key, value] : cases) {
        const auto read = reader->object(key).value_or(PropertyValue("missing"));
        EXPECT_TRUE(sameValue(read, value)) << key;
        EXPECT_EQ(read.storage().index(), value.storage().index()) << key;
    }
    EXPECT_EQ(reader->takeProblem(), std::nullopt);

    reader->set("date", Date{1'700'000'000.4});
    EXPECT_EQ(reader->object("date"), PropertyValue(Date{1'700'000'000}));
}

TEST_F(PlistFileUserDefaultsTest, ValuesNoPropertyListCanCarryAreRefusedAndNothingIsWritten) {
    const std::pair<std::string, PropertyValue> cases[] = {
        {"text", std::string("bad \xff byte")},
        {"text", std::string("nul\0inside", 10)},
        {std::string("k\0ey", 4), 1},
        {std::string("\xc0\xaf"), 1},
        {"date", Date{std::numeric_limits<double>::quiet_NaN()}},
        {"date", Date{4'000'000'000}},
        {"array", PropertyValue::Array{std::string("\xed\xa0\x80")}},
        {"dictionary", PropertyValue::Dictionary{{std::string("\xff"), 1}}},
    };
    const auto defaults = open();
    for (const auto& [key, value] : cases) {
        EXPECT_THROW(defaults->set(key, value), std::invalid_argument) << key;
    }
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(PlistFileUserDefaultsTest, AnotherInstancesChangesAreSeenAndNotLost) {
    const auto first = open();
    const auto second = open();
    first->set("a", 1);
    EXPECT_EQ(second->object("a"), PropertyValue(1));
    // The second instance has not read since; its change must keep the first's.
    first->set("b", 2);
    second->set("c", 3);
    EXPECT_EQ(open()->object("b"), PropertyValue(2));
    EXPECT_EQ(first->object("c"), PropertyValue(3));
    second->removeObject("a");
    EXPECT_EQ(first->object("a"), std::nullopt);
    fs::remove(file);
    EXPECT_EQ(first->object("b"), std::nullopt);
}

TEST_F(PlistFileUserDefaultsTest, WritesAnXmlFileOnlyTheUserCanReadAndLeavesNoTemporaryFiles) {
    const auto defaults = open();
    defaults->removeObject("nothing");
    EXPECT_FALSE(fs::exists(file)) << "removing a missing key writes nothing";
    for (int i = 0; i < 5; ++i) {
        defaults->set("count", i);
    }
    EXPECT_TRUE(readFile(file).starts_with("<?xml"));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(directory).permissions(), fs::perms::owner_all);
    EXPECT_TRUE(asideContents().empty());
}

TEST_F(PlistFileUserDefaultsTest, ACorruptFileIsMovedAsideWithoutReplacingAnEarlierOneReadAsEmptyAndReportedOnce) {
    writeFile(file, "garbage");
    const auto defaults = open();
    std::vector<std::string> reported;
    defaults->setProblemHandler([&](const std::string& problem) { reported.push_back(problem); });
    ASSERT_EQ(reported.size(), 1u) << "a problem waits for a handler";
    EXPECT_NE(reported[0].find(file.string() + ".corrupt-"), std::string::npos) << reported[0];
    EXPECT_EQ(defaults->object("a"), std::nullopt);
    defaults->set("a", 1); // a new value starts a new file
    EXPECT_EQ(open()->object("a"), PropertyValue(1));
    // Corrupted while open, and a property list that holds no dictionary.
    writeFile(file, "<plist><array/></plist>");
    EXPECT_EQ(defaults->object("a"), std::nullopt);
    writeFile(file, "\x01\x02 binary junk");
    EXPECT_EQ(defaults->object("a"), std::nullopt);
    EXPECT_EQ(reported.size(), 3u);
    EXPECT_EQ(asideContents(),
              (std::vector<std::string>{"\x01\x02 binary junk", "<plist><array/></plist>", "garbage"}));

    // A fifo in its place is moved aside too, without blocking.
    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(defaults->object("a"), std::nullopt);
    EXPECT_NE(reported.back().find("not a regular file"), std::string::npos) << reported.back();
    defaults->set("a", 1);
    EXPECT_EQ(open()->object("a"), PropertyValue(1));
}

TEST_F(PlistFileUserDefaultsTest, AFileThatCannotBeReadIsNeverWrittenOverAndIsReadOnceItCanBe) {
    writeFile(file, "<plist version=\"1.0\"><dict><key>a</key><integer>1</integer></dict></plist>");
    const std::string original = readFile(file);
    fs::permissions(file, fs::perms::none);
    testing::giveToUnprivilegedUser(root.path());
    // Root reads any file: only another user sees the file as unreadable.
    const auto run = testing::runUnprivileged([&] {
        std::ostringstream seen;
        const auto defaults = open();
        defaults->set("b", 2);
        const auto reported = problems(*defaults);
        seen << "b kept: " << (defaults->object("b") == PropertyValue(2)) << ", problems: " << reported.size();
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
        seen << ", file kept: " << (readFile(file) == original);
        seen << ", a read: " << (defaults->object("a") == PropertyValue(1));
        defaults->set("c", 3);
        for (const auto& problem : reported) {
            seen << "\n" << problem;
        }
        return seen.str();
    });
    if (!run.ran) {
        STAYWAKE_SKIP(run.output);
    }
    EXPECT_TRUE(run.output.starts_with("b kept: 1, problems: 2, file kept: 1, a read: 1\n")) << run.output;
    EXPECT_NE(run.output.find("left as it is"), std::string::npos) << run.output;
    const auto reader = open();
    EXPECT_EQ(reader->object("a"), PropertyValue(1));
    EXPECT_EQ(reader->object("c"), PropertyValue(3));
    EXPECT_TRUE(asideContents().empty());
}

TEST_F(PlistFileUserDefaultsTest, AFailedWriteKeepsTheChangeReportsOnceAndIsRetriedByTheNextChange) {
    // A regular file where the folder should be: no folder can be made there,
    // whoever runs the test.
    writeFile(directory, "in the way");
    const auto defaults = open();
    EXPECT_NO_THROW(defaults->set("a", 1));
    EXPECT_NO_THROW(defaults->set("b", 2));
    EXPECT_EQ(defaults->object("a"), PropertyValue(1));
    const auto reported = problems(*defaults);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find("could not be saved"), std::string::npos) << reported[0];
    EXPECT_NE(reported[0].find(directory.string()), std::string::npos) << reported[0];

    fs::remove(directory);
    defaults->set("c", 3);
    const auto reader = open();
    EXPECT_EQ(reader->object("a"), PropertyValue(1));
    EXPECT_EQ(reader->object("b"), PropertyValue(2));
    EXPECT_EQ(reader->object("c"), PropertyValue(3));
    EXPECT_EQ(defaults->takeProblem(), std::nullopt);
}

TEST(PlistFileUserDefaults, FindsTheConfigurationFolderTheWayTheDesktopSaysAndTakesOnlyPlainDomains) {
    using Path = std::optional<fs::path>;
    const struct {
        std::optional<std::string> xdgConfigHome;
        Path home;
        Path expected;
    } cases[] = {
        {"/xdg", fs::path("/home/u"), fs::path("/xdg")},
        {std::nullopt, fs::path("/home/u"), fs::path("/home/u/.config")},
        {"", fs::path("/home/u"), fs::path("/home/u/.config")},
        {"relative/config", fs::path("/home/u"), fs::path("/home/u/.config")},
        {"/xdg", std::nullopt, fs::path("/xdg")},
        {std::nullopt, std::nullopt, std::nullopt},
        {std::nullopt, fs::path(""), std::nullopt},
    };
    for (const auto& [xdg, home, expected] : cases) {
        EXPECT_EQ(UserFolders::configHomeFor(xdg, home), expected);
    }
    EXPECT_THROW(PlistFileUserDefaults("/tmp", "../escape"), std::invalid_argument);
    EXPECT_THROW(PlistFileUserDefaults("/tmp", ""), std::invalid_argument);
}

} // namespace
} // namespace staywake
