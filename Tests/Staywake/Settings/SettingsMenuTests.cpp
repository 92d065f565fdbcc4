#include "Staywake/Settings/AboutPopup.h"
#include "Staywake/Settings/AboutSources.h"
#include "Staywake/Settings/Popover.h"
#include "Staywake/Settings/SettingsMenu.h"
#include "Staywake/Settings/SettingsPopup.h"
#include "StaywakeCore/Durations/InMemoryPresetDurationStore.h"
#include "Support/Files.h"
#include "Support/TemporaryDirectory.h"
#include "UrlCatcher.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <memory>

namespace staywake {
namespace {

TEST(SettingsMenu, PlacesTheMenuFourteenPixelsUnderTheRowAndOutsideItsLeadingEdge) {
    const QRect row(100, 50, 260, 30);
    EXPECT_EQ(SettingsMenu::menuPosition(row, 200, Qt::LeftToRight), QPoint(86, 94));
    EXPECT_EQ(SettingsMenu::menuPosition(row, 200, Qt::RightToLeft), QPoint(174, 94));
}

TEST(SettingsMenu, OpensItsMenuAndOffersTheFiveCommandsAsAccessibleActionsAndOnePopoverAtATime) {
    InMemoryPresetDurationStore store;
    int updateChecks = 0;
    int quits = 0;
    QWidget window;
    auto* row = new SettingsMenu(
        std::make_shared<PresetDurationsController>(store), [&] { ++updateChecks; }, [&] { ++quits; },
        SettingsMenu::Context{Qt::RightToLeft, "en_US", "de", AboutInfo{"1.2", "45"}}, {}, &window);
    (new QVBoxLayout(&window))->addWidget(row);
    window.show();
    row->click();
    ASSERT_NE(row->openMenu(), nullptr);
    EXPECT_EQ(row->openMenu()->layoutDirection(), Qt::RightToLeft);
    row->openMenu()->close();
    QApplication::processEvents();
    EXPECT_EQ(row->openMenu(), nullptr);

    const std::unique_ptr<QMenu> menu(SettingsMenu::makeMenu(row->actions(), Qt::RightToLeft));
    const QList<QAction*> items = menu->actions();
    QStringList titles;
    for (QAction* item : items) {
        titles << (item->isSeparator() ? QStringLiteral("-") : item->text());
    }
    const QStringList commands{"Choose preset durations…", "About Staywake", "Check for Updates…", "Send Feedback",
                               "Quit Staywake"};
    EXPECT_EQ(titles, commands.mid(0, 4) << "-" << commands[4]);
    EXPECT_EQ(items[5]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    items[0]->trigger();
    EXPECT_EQ(row->popup(), SettingsMenu::Popup::settings);
    items[1]->trigger();
    EXPECT_EQ(row->popup(), SettingsMenu::Popup::about);
    UrlCatcher browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    for (const int other : {2, 3, 5}) {
        items[other]->trigger();
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(std::tuple(updateChecks, quits), std::tuple(1, 1));
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_TRUE(browser.opened[0].path().endsWith(QStringLiteral("/de/feedback")));
    EXPECT_EQ(QUrlQuery(browser.opened[0]).queryItemValue(QStringLiteral("app"), QUrl::FullyDecoded), "1.2 (45)");

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(row);
    EXPECT_EQ(accessible->role(), QAccessible::ButtonMenu);
    EXPECT_EQ(accessible->actionInterface()->actionNames(),
              QStringList{QAccessibleActionInterface::showMenuAction()} << commands);
    accessible->actionInterface()->doAction(QStringLiteral("Quit Staywake"));
    EXPECT_EQ(quits, 2);

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(row->popupWindow(), &escape);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(row->popup(), std::nullopt);
}

TEST(Popover, SitsUnderItsAnchorUnlessOnlyAboveHasRoom) {
    // anchor, frame, arrow at the top, arrow's x
    const std::tuple<QRect, QRect, bool, int> cases[] = {
        {QRect(400, 100, 260, 30), QRect(419, 130, 222, 200), true, 111},
        {QRect(400, 600, 260, 30), QRect(419, 400, 222, 200), false, 111}, // near the bottom: above, arrow below
        {QRect(900, 100, 100, 30), QRect(778, 130, 222, 200), true, 172},  // kept on the screen, arrow on the row
        {QRect(-50, 100, 60, 30), QRect(0, 130, 222, 200), true, 13},
    };
    for (const auto& [anchor, frame, arrowAtTop, arrowX] : cases) {
        const auto placement = Popover::place(anchor, QSize(222, 200), QRect(0, 0, 1000, 700));
        EXPECT_EQ(std::tuple(placement.frame, placement.arrowAtTop, placement.arrowX),
                  std::tuple(frame, arrowAtTop, arrowX));
    }
}

TEST(SettingsPopup, StarsUpToThreeDurationsThroughTheControllerAndNeverStrandsAStar) {
    InMemoryPresetDurationStore store(std::vector<double>{1800, 3600, 7200});
    auto presets = std::make_shared<PresetDurationsController>(store);
    SettingsPopup popup(presets, "en_US");
    const auto toggles = popup.findChildren<QAbstractButton*>();
    ASSERT_EQ(toggles.size(), 6);

    const auto states = [&] {
        std::string shown;
        for (const QAbstractButton* toggle : toggles) {
            shown += toggle->isChecked() ? '*' : (toggle->isEnabled() ? 'o' : '-');
        }
        return shown;
    };
    EXPECT_EQ(states(), "***---");
    toggles[1]->click();
    EXPECT_EQ(states(), "*o*ooo");
    EXPECT_EQ(store.pinnedSeconds(), (std::vector<double>{1800, 7200}));
    toggles[5]->click();
    EXPECT_EQ(states(), "*-*--*");
    presets->pin({AwakeDuration{3600}}); // a change made elsewhere shows at once
    EXPECT_EQ(states(), "o*oooo");
}

TEST(AboutPopup, ShowsTheVersionLineOnlyWhenTheBundleNamesAVersion) {
    const AboutPopup withVersion(AboutInfo{"1.2", "45"});
    ASSERT_NE(withVersion.versionLine(), nullptr);
    EXPECT_EQ(withVersion.versionLine()->text(), QStringLiteral("Version 1.2 (45)"));
    const AboutPopup withoutVersion(std::nullopt);
    EXPECT_EQ(withoutVersion.versionLine(), nullptr);
}

TEST(AboutSources, NamesTheSystemFromTheFirstReadableOsRelease) {
    testing::TemporaryDirectory folder("staywake-os-release");
    testing::writeFile(folder.path() / "os-release", "ID=debian\nVERSION_ID=\"12\"\n");
    const QString missing = QString::fromStdString((folder.path() / "missing").string());
    EXPECT_EQ(readOperatingSystem({missing, QString::fromStdString((folder.path() / "os-release").string())}),
              "debian-12");
    EXPECT_EQ(readOperatingSystem({missing}), std::nullopt);
}

} // namespace
} // namespace staywake
