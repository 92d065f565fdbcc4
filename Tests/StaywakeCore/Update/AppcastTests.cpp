#include "StaywakeCore/Update/Appcast.h"
#include "StaywakeCore/Update/SoftwareVersion.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

std::string feed(const std::string& items) {
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Staywake</title>)" +
           items + "</channel></rss>";
}

std::string item(const std::string& version, const std::string& extra = "") {
    return "<item><title>Staywake " + version + "</title>" + extra +
           R"(<enclosure url="https://example.com/staywake_)" + version + R"(.deb" length="1024" )" +
           R"(type="application/vnd.debian.binary-package" sparkle:version=")" + version +
           R"(" sparkle:edSignature="c2ln"/></item>)";
}

TEST(Appcast, ParsesGoodFeedsAndNamesWhatIsWrongWithBadOnes) {
    std::string deep;
    for (int i = 0; i < 40; ++i)
        deep += "<a>";
    // Each feed and the error, or the usable items and why the first unusable one was left out.
    const std::pair<std::string, std::string> cases[] = {
        {// a prefix other than sparkle
         R"(<rss xmlns:s="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>
            <item><enclosure url="https://e/x.deb" length="7" s:version="2" s:edSignature="c2ln"/></item>
            </channel></rss>)",
         "1 items"},
        {feed(std::string(Appcast::sizeLimit, ' ')), "the feed is larger than 1024 KiB"},
        {"<rss>" + deep, "the feed is not well-formed XML (line 1: elements nest deeper than 32 levels)"},
        {"<!DOCTYPE rss [<!ENTITY a \"aaaa\">]><rss/>",
         "the feed is not well-formed XML (line 1: a document type declaration is not accepted)"},
        {feed("<item>&xxe;</item>"),
         "the feed is not well-formed XML (line 3: the entity \"xxe\" is not defined (no entities are))"},
        {"<feed/>", "the feed is not an RSS document (its root is <feed>)"},
        {"<rss/>", "the feed has no channel"},
        {feed("<item>\xE9</item>"), "the feed is not well-formed XML (the document is not UTF-8)"},
        {feed("<item><title>x</title></item>" + item("1.1")), "1 items; item 1: it has no enclosure"},
        {feed(R"(<item><enclosure url="https://e/x.deb" length="3"/></item>)"),
         "0 items; item 1: it has no sparkle:version"},
        {feed(R"(<item><enclosure url="https://e/x.deb" length="-3" sparkle:version="2"/></item>)"),
         "0 items; item 1: its enclosure's length \"-3\" is not a positive whole number of bytes"},
        {feed(R"(<item><enclosure url="https://e/x.deb" length="99999999999" sparkle:version="2"/></item>)"),
         "0 items; item 1: its enclosure's length 99999999999 is larger than any package accepted"},
    };
    for (const auto& [text, expected] : cases) {
        const auto result = Appcast::parse(text);
        std::string outcome;
        if (const auto* error = std::get_if<Appcast::Error>(&result)) {
            outcome = error->reason;
        } else {
            const auto& appcast = std::get<Appcast>(result);
            outcome = std::to_string(appcast.items.size()) + " items";
            if (!appcast.skipped.empty()) {
                outcome += "; " + appcast.skipped.front();
            }
        }
        EXPECT_EQ(outcome, expected);
    }
}

TEST(Appcast, ReadsEveryFieldFromAttributesOrElementsAndDecodesReferences) {
    const auto result = Appcast::parse(feed(
        R"(<item><title>Staywake 1.3 &amp; more</title>
           <description><![CDATA[<p>Fixes &amp; <b>more</b></p>]]></description>
           <sparkle:version>130</sparkle:version><sparkle:shortVersionString>1.3</sparkle:shortVersionString>
           <sparkle:minimumSystemVersion>12</sparkle:minimumSystemVersion>
           <sparkle:releaseNotesLink>https://example.com/1.3.html</sparkle:releaseNotesLink>
           <enclosure url="https://example.com/a.deb?x=1&amp;y=&#x32;" length=" 4096 " type="application/x-deb"/>
         </item>)" +
        item("1.1")));
    const auto& items = std::get<Appcast>(result).items;
    ASSERT_EQ(items.size(), 2u);
    const AppcastItem& read = items[0];
    // An item without a signature is kept, so that installing it can say why it refuses.
    EXPECT_EQ(
        (std::vector<std::string>{read.title, read.description, read.version, read.shortVersion,
                                  read.minimumSystemVersion.value_or("-"), read.releaseNotesLink.value_or("-"),
                                  read.url, std::to_string(read.length), read.edSignature}),
        (std::vector<std::string>{"Staywake 1.3 & more", "<p>Fixes &amp; <b>more</b></p>", "130", "1.3", "12",
                                  "https://example.com/1.3.html", "https://example.com/a.deb?x=1&y=2", "4096",
                                  ""}));
}

TEST(Appcast, ChoosesTheNewestItemThisSystemCanRunThatWasNotSkipped) {
    const auto needs = [](const char* system) {
        return "<sparkle:minimumSystemVersion>" + std::string(system) + "</sparkle:minimumSystemVersion>";
    };
    const auto appcast = std::get<Appcast>(
        Appcast::parse(feed(item("1.1") + item("1.3", needs("13")) + item("1.2", needs("12")) + item("1.0"))));
    // The running version, the system, the skipped version; the update and the one needing a newer system.
    const std::tuple<const char*, std::optional<std::string>, std::optional<std::string>, const char*, const char*>
        cases[] = {
            {"1.0", "12", std::nullopt, "1.2", "1.3"}, {"1.0", std::nullopt, std::nullopt, "1.3", ""},
            {"1.0", "11", std::nullopt, "1.1", "1.3"}, {"1.2", "12", std::nullopt, "", "1.3"},
            {"1.0", "12", "1.2", "", "1.3"}, // skipping 1.2 also hides the older 1.1
            {"1.0", "13", "1.2", "1.3", ""},           {"1.2b3", "12", std::nullopt, "1.2", "1.3"},
        };
    for (const auto& [current, system, skipped, update, needsNewerSystem] : cases) {
        const auto choice = appcast.newestApplicable(current, system, skipped);
        EXPECT_EQ(choice.update ? choice.update->version : "", update)
            << current << " on " << system.value_or("?");
        EXPECT_EQ(choice.needsNewerSystem ? choice.needsNewerSystem->version : "", needsNewerSystem) << current;
    }
}

TEST(SoftwareVersion, OrdersNumbersNumericallyAndPreReleasesBeforeTheirRelease) {
    const std::pair<const char*, const char*> ascending[] = {
        // clang-format off
        {"1.2", "1.2.1"}, {"1.2b3", "1.2"}, {"1.9", "1.10"}, {"1.2a9", "1.2b1"}, {"1.2b3", "1.2b10"},
        {"1.2rc1", "1.2.1"}, {"99999999999999999999", "100000000000000000000"},
        // clang-format on
    };
    for (const auto& [older, newer] : ascending) {
        EXPECT_EQ(SoftwareVersion::compare(older, newer), std::strong_ordering::less) << older << " < " << newer;
        EXPECT_EQ(SoftwareVersion::compare(newer, older), std::strong_ordering::greater)
            << newer << " > " << older;
    }
    for (const auto& [a, b] : {std::pair{"1.2", "1.2.0"}, {"1.02", "1.2"}, {"1-2", "1.2"}, {"", "0"}}) {
        EXPECT_EQ(SoftwareVersion::compare(a, b), std::strong_ordering::equal) << a << " == " << b;
    }
}

} // namespace
} // namespace staywake
