#include "StaywakeLinux/Defaults/PlistFileUserDefaults.h"
#include "StaywakeLinux/Defaults/PropertyListCoding.h"
#include "StaywakeLinux/Defaults/UserFolders.h"
#include "Support/ChildProcess.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "Support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

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

TEST_F(PlistFileUserDefaultsTest, EveryTypeComesBackAsItWasInAnotherInstanceAndDatesToTheSecond) {
    const std::pair<std::string, PropertyValue> cases[] = {
        {"true", true},
        {"lowest", std::numeric_limits<std::int64_t>::min()},
        {"deadline", 1'700'000'000.123456},
        {"text", "Staywake hält wach – «☕»"},
        {"markup", "<b>&amp;</b> \"quoted\"\ttab\r\nline"},
        {"date", Date{1'700'000'000}},
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
        EXPECT_EQ(reader->object(key), value) << key;
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
    defaults->set("count", 1);
    defaults->set("count", 2);
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
    // Corrupted while open: a property list that holds no dictionary.
    writeFile(file, "<plist><array/></plist>");
    EXPECT_EQ(defaults->object("a"), std::nullopt);
    EXPECT_EQ(reported.size(), 2u);
    EXPECT_EQ(asideContents(), (std::vector<std::string>{"<plist><array/></plist>", "garbage"}));

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
        seen << ", file kept: " << (readFile(file) == original)
             << ", a read: " << (defaults->object("a") == PropertyValue(1));
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
    // A file where the folder should be: no folder can be made there, even as root.
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
    const std::tuple<std::optional<std::string>, Path, Path> cases[] = {
        {"/xdg", fs::path("/home/u"), fs::path("/xdg")},
        {std::nullopt, fs::path("/home/u"), fs::path("/home/u/.config")},
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

std::string plist(const std::string& value) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n" +
           value + "\n</dict>\n</plist>\n";
}

TEST(PropertyListCoding, ReadsWellFormedXmlAndRefusesWhatALenientReaderWouldGuessAt) {
    using Dictionary = PropertyValue::Dictionary;
    const double infinity = std::numeric_limits<double>::infinity();
    // Nothing: refused as no property list.
    const std::vector<std::pair<std::string, std::optional<Dictionary>>> cases = {
        {"<key>a</key><integer>-17</integer>", Dictionary{{"a", std::int64_t{-17}}}},
        {"<key>a</key><integer> +5\n</integer>", Dictionary{{"a", 5}}},
        {"<key>a</key><integer>9223372036854775807</integer>",
         Dictionary{{"a", std::numeric_limits<std::int64_t>::max()}}},
        {"<key>a</key><real>1.8e9</real><key>b</key><real>-.5E-1</real><key>c</key><real>7.</real>",
         Dictionary{{"a", 1.8e9}, {"b", -0.05}, {"c", 7.0}}},
        {"<key>a</key><real>+infinity</real><key>b</key><real>-infinity</real>",
         Dictionary{{"a", infinity}, {"b", -infinity}}},
        {"<!-- a comment --><key>a&amp;b</key> <true></true> "
         "<key>c</key><string><![CDATA[<x>]]>&#65;&#x42;</string>",
         Dictionary{{"a&b", true}, {"c", "<x>AB"}}},
        {"<key>d</key><date>2023-11-14T22:13:20Z</date><key>e</key><data>\n\tAAEC/w==\n\t</data>",
         Dictionary{{"d", Date{1'700'000'000}}, {"e", PropertyData{{0, 1, 2, 255}}}}},
        {"<key>a</key><array/><key>b</key><dict/><key>c</key><string/><key></key><false/>",
         Dictionary{{"a", PropertyValue::Array{}}, {"b", Dictionary{}}, {"c", ""}, {"", false}}},

        {"<key>a</key><real>1.8e9xyz</real>", std::nullopt},
        {"<key>a</key><real>17e</real>", std::nullopt},
        {"<key>a</key><real>.</real>", std::nullopt},
        {"<key>a</key><integer>abc</integer>", std::nullopt},
        {"<key>a</key><integer>9223372036854775808</integer>", std::nullopt},
        {"<key>a</key><integer></integer>", std::nullopt},
        {"<key>a</key><date>2023-11-14</date>", std::nullopt},
        {"<key>a</key><data>AA*=</data>", std::nullopt},
        {"<key>a</key><integer>1</integer><key>b</key>", std::nullopt},
        {"<key>a</key><key>b</key><integer>1</integer>", std::nullopt},
        {"<integer>1</integer>", std::nullopt},
        {"<key>a</key><string>x &nbsp; y</string>", std::nullopt},
        {"<key>a</key><string>x & y</string>", std::nullopt},
        {"<key>a</key><string>bad \xff byte</string>", std::nullopt},
        {"<key>a</key><string>open", std::nullopt},
        {"<key>a</key><uid>1</uid>", std::nullopt},
        {"<key>a</key><array><integer>1</integer><true/></array></dict><dict>", std::nullopt},
    };
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(PropertyListCoding::decodeDictionary(plist(body)), expected) << body;
    }
}

// A dictionary holding `levels` arrays, one inside the other.
std::string nested(int levels) {
    std::string arrays;
    for (int level = 0; level < levels; ++level) {
        arrays.insert(0, "<array>");
        arrays += "</array>";
    }
    return plist("<key>a</key>" + arrays);
}

std::string padded(std::string document, std::size_t size) {
    return document + std::string(size - document.size(), ' ');
}

TEST(PropertyListCoding, ReadsOnlyWithinTheLimitsThatKeepLibplistFromOverflowingTheStackAndSkipsKeysWithNul) {
    const std::string small = plist("<key>a</key><true/>");
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"nested as deep as allowed", nested(PropertyListCoding::deepestNesting - 1), true},
        {"nested one level deeper", nested(PropertyListCoding::deepestNesting), false},
        {"exactly the size limit", padded(small, PropertyListCoding::largestDocument), true},
        {"one byte over the size limit", padded(small, PropertyListCoding::largestDocument + 1), false},
    };
    for (const auto& [name, bytes, read] : cases) {
        EXPECT_EQ(PropertyListCoding::decodeDictionary(bytes).has_value(), read) << name;
    }
    // A key holding a NUL character is left out; a text holding one is kept whole. The binary list
    // { "a\0b": true, "k": "x\0y" }, both texts in UTF-16: header, objects, offsets, trailer.
    const std::string binary("bplist00\xd2\x01\x02\x03\x04\x63\0a\0\0\0bQk\x09\x63\0x\0\0\0y\x08\x0d\x14\x16\x17"
                             "\0\0\0\0\0\0\x01\x01\0\0\0\0\0\0\0\x05\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x1e",
                             67);
    EXPECT_EQ(PropertyListCoding::decodeDictionary(binary),
              (PropertyValue::Dictionary{{"k", std::string("x\0y", 3)}}));
}

} // namespace
} // namespace staywake
