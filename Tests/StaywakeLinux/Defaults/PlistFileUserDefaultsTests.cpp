#include "StaywakeLinux/Defaults/PlistFileUserDefaults.h"
#include "StaywakeLinux/Defaults/UserFolders.h"
#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>
#include <memory>
#include <plist/plist.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace staywake {
namespace {

namespace fs = std::filesystem;

const std::string xmlHeader = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
)";

std::string xmlDictionary(const std::string& body) {
    return xmlHeader + "<dict>\n" + body + "</dict>\n</plist>\n";
}

using testing::readFile;
using testing::writeFile;

class PlistFileUserDefaultsTest : public ::testing::Test {
protected:
    std::shared_ptr<PlistFileUserDefaults> open() const {
        return std::make_shared<PlistFileUserDefaults>(directory);
    }

    /// Puts these bytes where the settings file belongs.
    void place(const std::string& bytes) const { writeFile(file, bytes); }

    std::vector<fs::path> filesBesideTheSettings() const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(directory)) {
            if (entry.path() != file) {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    testing::TemporaryDirectory root{"staywake-defaults"};
    fs::path directory = root.path() / "config" / "staywake";
    fs::path file = directory / "com.staywake.app.plist";
};

bool sameValue(const PropertyValue& a, const PropertyValue& b) {
    // Not-a-number never equals itself; compare it by kind.
    const auto* x = a.as<double>();
    const auto* y = b.as<double>();
    if (x && y && std::isnan(*x)) {
        return std::isnan(*y);
    }
    return a == b;
}

TEST_F(PlistFileUserDefaultsTest, EveryTypeComesBackAsItWasInAnotherInstance) {
    const double infinity = std::numeric_limits<double>::infinity();
    struct Case {
        std::string key;
        PropertyValue value;
    };
    const std::vector<Case> cases = {
        {"true", true},
        {"false", false},
        {"negative", std::int64_t{-5}},
        {"lowest", std::numeric_limits<std::int64_t>::min()},
        {"highest", std::numeric_limits<std::int64_t>::max()},
        {"deadline", 1'700'000'000.123456},
        {"tiny", 1e-300},
        {"negative zero", -0.0},
        {"infinite", infinity},
        {"not a number", std::numeric_limits<double>::quiet_NaN()},
        {"text", "Staywake hält wach – «☕»"},
        {"markup", "<b>&amp;</b> \"quoted\"\ttab\r\nline"},
        {"date", Date{1'700'000'000}},
        {"early date", Date{-1'000'000'000}},
        {"data", PropertyData{{0, 1, 2, 255, 0}}},
        {"empty data", PropertyData{}},
        {"array", PropertyValue::Array{1, 2.5, "three", true, PropertyValue::Array{}}},
        {"dictionary",
         PropertyValue::Dictionary{{"inner", PropertyValue::Dictionary{{"x", -1}}}, {"", "blank key"}}},
        {"key <with> & markup", 1},
    };
    {
        const auto writer = open();
        for (const auto& [key, value] : cases) {
            writer->set(key, value);
            EXPECT_TRUE(sameValue(*writer->object(key), value)) << key;
        }
        EXPECT_EQ(writer->takeProblem(), std::nullopt);
    }
    const auto reader = open();
    for (const auto& [key, value] : cases) {
        const auto read = reader->object(key);
        ASSERT_TRUE(read) << key;
        EXPECT_TRUE(sameValue(*read, value)) << key;
        EXPECT_EQ(read->storage().index(), value.storage().index()) << key;
    }
    EXPECT_EQ(reader->takeProblem(), std::nullopt);
}

TEST_F(PlistFileUserDefaultsTest, WritesBooleansAndIntegersAsPropertyListsDo) {
    open()->set("flag", true);
    open()->set("count", 1);
    const std::string xml = readFile(file);
    EXPECT_NE(xml.find("<key>flag</key>\n\t<true/>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<key>count</key>\n\t<integer>1</integer>"), std::string::npos) << xml;
}

TEST_F(PlistFileUserDefaultsTest, DatesAreKeptToTheSecondAsPropertyListsWriteThem) {
    const auto defaults = open();
    defaults->set("date", Date{1'700'000'000.4});
    EXPECT_EQ(defaults->object("date"), PropertyValue(Date{1'700'000'000}));
    EXPECT_EQ(open()->object("date"), PropertyValue(Date{1'700'000'000}));
}

TEST_F(PlistFileUserDefaultsTest, ValuesNoPropertyListCanCarryAreRefusedAndNothingIsWritten) {
    const auto defaults = open();
    struct Case {
        std::string key;
        PropertyValue value;
    };
    const std::vector<Case> cases = {
        {"text", std::string("bad \xff byte")},
        {"text", std::string("nul\0inside", 10)},
        {std::string("k\0ey", 4), 1},
        {std::string("\xc0\xaf"), 1},
        {"date", Date{std::numeric_limits<double>::quiet_NaN()}},
        {"date", Date{4'000'000'000}},
        {"array", PropertyValue::Array{std::string("\xed\xa0\x80")}},
        {"dictionary", PropertyValue::Dictionary{{std::string("\xff"), 1}}},
    };
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
    const auto third = open();
    EXPECT_EQ(third->object("b"), PropertyValue(2));
    EXPECT_EQ(third->object("c"), PropertyValue(3));
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
    EXPECT_TRUE(filesBesideTheSettings().empty());
}

TEST_F(PlistFileUserDefaultsTest, ReadsABinaryPropertyList) {
    plist_t dictionary = plist_new_dict();
    plist_dict_set_item(dictionary, "flag", plist_new_bool(1));
    plist_dict_set_item(dictionary, "negative", plist_new_uint(static_cast<std::uint64_t>(std::int64_t{-7})));
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(dictionary, &bytes, &length);
    place(std::string(bytes, length));
    plist_to_bin_free(bytes);
    plist_free(dictionary);

    const auto defaults = open();
    EXPECT_EQ(defaults->object("flag"), PropertyValue(true));
    EXPECT_EQ(defaults->object("negative"), PropertyValue(std::int64_t{-7}));
}

TEST_F(PlistFileUserDefaultsTest, ACorruptFileIsMovedAsideReadAsEmptyAndReportedOnce) {
    const std::vector<std::string> corruptContents = {
        "",
        "\x00\x01\x02 binary junk",
        xmlHeader + "<array><integer>1</integer></array>\n</plist>\n",
        xmlHeader + "<dict><key>a</key><integer>1</integer>",
        "bplist00 truncated",
        // What a lenient reader would take for numbers, or let pass unpaired.
        xmlDictionary("<key>a</key><real>1.8e9xyz</real>\n"),
        xmlDictionary("<key>a</key><integer>1</integer><key>b</key>\n"),
    };
    for (const auto& corrupt : corruptContents) {
        SCOPED_TRACE(corrupt);
        fs::remove_all(directory);
        place(corrupt);

        const auto defaults = open();
        EXPECT_EQ(defaults->object("a"), std::nullopt);
        const auto aside = filesBesideTheSettings();
        ASSERT_EQ(aside.size(), 1U);
        EXPECT_TRUE(aside[0].filename().string().starts_with("com.staywake.app.plist.corrupt-"));
        EXPECT_EQ(readFile(aside[0]), corrupt);

        const auto problem = defaults->takeProblem();
        ASSERT_TRUE(problem);
        EXPECT_NE(problem->find(file.string()), std::string::npos) << *problem;
        EXPECT_NE(problem->find(aside[0].string()), std::string::npos) << *problem;
        defaults->object("a");
        EXPECT_EQ(defaults->takeProblem(), std::nullopt);

        // A new value starts a new file; the corrupt one stays where it was put.
        defaults->set("a", 1);
        EXPECT_EQ(open()->object("a"), PropertyValue(1));
        EXPECT_EQ(readFile(aside[0]), corrupt);
    }
}

TEST_F(PlistFileUserDefaultsTest, AFileThatCannotBeReadIsNeverWrittenOverAndIsReadOnceItCanBe) {
    place(xmlDictionary("<key>a</key><integer>1</integer>\n"));
    const std::string original = readFile(file);
    fs::permissions(file, fs::perms::none);
    testing::giveToUnprivilegedUser(root.path());

    // Root reads any file: only another user sees the file as unreadable.
    const auto run = testing::runUnprivileged([&] {
        std::ostringstream seen;
        const auto defaults = open();
        defaults->set("b", 2);
        seen << "b kept: " << (defaults->object("b") == PropertyValue(2));
        std::vector<std::string> problems;
        while (auto problem = defaults->takeProblem()) {
            problems.push_back(*problem);
        }
        seen << ", problems: " << problems.size();
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
        seen << ", file kept: " << (readFile(file) == original);
        seen << ", a read: " << (defaults->object("a") == PropertyValue(1));
        defaults->set("c", 3);
        for (const auto& problem : problems) {
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
    EXPECT_TRUE(filesBesideTheSettings().empty());
}

TEST_F(PlistFileUserDefaultsTest, AFileCorruptedWhileOpenIsMovedAsideWithoutReplacingAnEarlierOne) {
    const auto defaults = open();
    std::vector<std::string> problems;
    defaults->setProblemHandler([&](const std::string& problem) { problems.push_back(problem); });
    defaults->set("a", 1);

    writeFile(file, "not a property list");
    EXPECT_EQ(defaults->object("a"), std::nullopt);
    writeFile(file, "still not one");
    EXPECT_EQ(defaults->object("a"), std::nullopt);

    EXPECT_EQ(problems.size(), 2U);
    std::vector<std::string> asideContents;
    for (const auto& path : filesBesideTheSettings()) {
        asideContents.push_back(readFile(path));
    }
    std::sort(asideContents.begin(), asideContents.end());
    EXPECT_EQ(asideContents, (std::vector<std::string>{"not a property list", "still not one"}));
}

TEST_F(PlistFileUserDefaultsTest, AFifoInPlaceOfTheFileIsMovedAsideWithoutBlocking) {
    fs::create_directories(directory);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    const auto defaults = open();
    EXPECT_EQ(defaults->object("a"), std::nullopt);
    const auto problem = defaults->takeProblem();
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("not a regular file"), std::string::npos) << *problem;
    EXPECT_EQ(filesBesideTheSettings().size(), 1U);
    defaults->set("a", 1);
    EXPECT_EQ(open()->object("a"), PropertyValue(1));
}

TEST_F(PlistFileUserDefaultsTest, ProblemsWaitForAHandler) {
    place("garbage");
    const auto defaults = open();
    std::vector<std::string> problems;
    defaults->setProblemHandler([&](const std::string& problem) { problems.push_back(problem); });
    EXPECT_EQ(problems.size(), 1U);
    EXPECT_EQ(defaults->takeProblem(), std::nullopt);
}

TEST_F(PlistFileUserDefaultsTest, AFailedWriteKeepsTheChangeReportsOnceAndIsRetriedByTheNextChange) {
    // A regular file where the folder should be: no folder can be made there,
    // whoever runs the test.
    writeFile(directory, "in the way");

    const auto defaults = open();
    EXPECT_NO_THROW(defaults->set("a", 1));
    EXPECT_NO_THROW(defaults->set("b", 2));
    EXPECT_EQ(defaults->object("a"), PropertyValue(1));
    EXPECT_EQ(defaults->object("b"), PropertyValue(2));
    const auto problem = defaults->takeProblem();
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("could not be saved"), std::string::npos) << *problem;
    EXPECT_NE(problem->find(directory.string()), std::string::npos) << *problem;
    EXPECT_EQ(defaults->takeProblem(), std::nullopt);

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
    struct Case {
        std::optional<std::string> xdgConfigHome;
        Path home;
        Path expected;
    };
    const std::vector<Case> cases = {
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
