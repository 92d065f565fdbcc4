#include "Staywake/Settings/AboutSources.h"
#include "Staywake/Settings/SettingsMenu.h"
#include "StaywakeCore/Settings/FeedbackLink.h"
#include "Support/TemporaryDirectory.h"
#include "UrlCatcher.h"

#include <QDesktopServices>
#include <QUrl>
#include <QUrlQuery>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace staywake {
namespace {

QString write(const std::filesystem::path& path, const std::string& contents) {
    std::ofstream(path) << contents;
    return QString::fromStdString(path.string());
}

TEST(AboutSources, NamesTheSystemFromTheFirstReadableOsRelease) {
    testing::TemporaryDirectory folder("staywake-os-release");
    const QString missing = QString::fromStdString((folder.path() / "missing").string());
    const QString debian = write(folder.path() / "os-release", "ID=debian\nVERSION_ID=\"12\"\n");
    EXPECT_EQ(readOperatingSystem({missing, debian}), "debian-12");
    EXPECT_EQ(readOperatingSystem({missing}), std::nullopt);
}

TEST(AboutSources, TheFeedbackFormOpensWithTheVersionSystemAndLanguage) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    SettingsMenu::openFeedbackForm(AboutInfo{"1.2", "45"}, std::string("de"));
    SettingsMenu::openFeedbackForm(std::nullopt, std::nullopt);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

    ASSERT_EQ(catcher.opened.size(), 2);
    const QUrl& withVersion = catcher.opened[0];
    EXPECT_TRUE(withVersion.path().endsWith(QStringLiteral("/de/feedback")))
        << withVersion.toString().toStdString();
    const QUrlQuery query(withVersion);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("app"), QUrl::FullyDecoded), QStringLiteral("1.2 (45)"));
    const auto system = readOperatingSystem();
    EXPECT_EQ(query.hasQueryItem(QStringLiteral("os")), system.has_value());

    const QUrl& withoutVersion = catcher.opened[1];
    EXPECT_FALSE(QUrlQuery(withoutVersion).hasQueryItem(QStringLiteral("app")));
    EXPECT_EQ(withoutVersion.path(), QStringLiteral("/feedback"));
}

} // namespace
} // namespace staywake
