#include "Staywake/Settings/AboutSources.h"
#include "Staywake/Settings/SettingsMenu.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "UrlCatcher.h"

#include <QDesktopServices>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace staywake {
namespace {

TEST(AboutSources, NamesTheSystemFromTheFirstReadableOsRelease) {
    testing::TemporaryDirectory folder("staywake-os-release");
    testing::writeFile(folder.path() / "os-release", "ID=debian\nVERSION_ID=\"12\"\n");
    const QString missing = QString::fromStdString((folder.path() / "missing").string());
    EXPECT_EQ(readOperatingSystem({missing, QString::fromStdString((folder.path() / "os-release").string())}),
              "debian-12");
    EXPECT_EQ(readOperatingSystem({missing}), std::nullopt);
}

TEST(AboutSources, TheFeedbackFormOpensWithTheVersionAndLanguage) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    SettingsMenu::openFeedbackForm(AboutInfo{"1.2", "45"}, std::string("de"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_TRUE(catcher.opened[0].path().endsWith(QStringLiteral("/de/feedback")));
    EXPECT_EQ(QUrlQuery(catcher.opened[0]).queryItemValue(QStringLiteral("app"), QUrl::FullyDecoded), "1.2 (45)");
}

} // namespace
} // namespace staywake
