#include "Staywake/Settings/AboutPopup.h"
#include "Staywake/Settings/AboutSources.h"
#include "Staywake/Settings/Popover.h"
#include "Staywake/Settings/SettingsMenu.h"
#include "Staywake/Settings/SettingsPopup.h"
#include "StaywakeCore/Durations/InMemoryPresetDurationStore.h"
#include "StaywakeCore/Durations/PresetDurations.h"
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

class SettingsMenuTest : public ::testing::Test {
public:
    /// A settings row at the bottom of a 260-pixel window at (300, 40), shown.
    SettingsMenu* showRow(Qt::LayoutDirection direction) {
        window = std::make_unique<QWidget>();
        window->setLayoutDirection(direction);
        auto* layout = new QVBoxLayout(window.get());
        layout->addWidget(new QLabel(QStringLiteral("panel"), window.get()));
        auto* row = new SettingsMenu(
            presets, [this] { ++updateChecks; }, [this] { ++quits; },
            SettingsMenu::Context{direction, "en_US", "de", AboutInfo{"1.2", "45"}}, {}, window.get());
        layout->addWidget(row);
        window->setGeometry(300, 40, 260, 120);
        window->show();
        QApplication::processEvents();
        return row;
    }

    ~SettingsMenuTest() override {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        }
    }

    InMemoryPresetDurationStore store;
    std::shared_ptr<PresetDurationsController> presets = std::make_shared<PresetDurationsController>(store);
    std::unique_ptr<QWidget> window;
    int updateChecks = 0;
    int quits = 0;
};

TEST_F(SettingsMenuTest, OpensTheMenuFourteenPixelsUnderTheRowAndOutsideItsLeadingEdge) {
    for (const auto direction : {Qt::LeftToRight, Qt::RightToLeft}) {
        SCOPED_TRACE(direction == Qt::LeftToRight ? "left to right" : "right to left");
        SettingsMenu* row = showRow(direction);
        row->click();
        QMenu* menu = row->openMenu();
        ASSERT_NE(menu, nullptr);
        EXPECT_TRUE(menu->isVisible());
        EXPECT_EQ(menu->layoutDirection(), direction);
        const QRect rowFrame(row->mapToGlobal(QPoint(0, 0)), row->size());
        const QRect menuFrame = menu->geometry();
        EXPECT_EQ(menuFrame.top(), rowFrame.bottom() + 1 + 14);
        if (direction == Qt::LeftToRight) {
            EXPECT_EQ(menuFrame.left(), rowFrame.left() - 14);
        } else {
            EXPECT_EQ(menuFrame.right(), rowFrame.right() + 14);
        }
        menu->close();
        QApplication::processEvents();
        EXPECT_EQ(row->openMenu(), nullptr);
    }
}

TEST_F(SettingsMenuTest, TheMenuAndTheRowsAccessibleActionsOfferTheFiveCommandsAndOnePopoverAtATime) {
    SettingsMenu* row = showRow(Qt::RightToLeft);
    int feedbacks = 0;
    SettingsMenu::Actions actions = row->actions();
    actions.sendFeedback = [&] { ++feedbacks; };
    const std::unique_ptr<QMenu> menu(SettingsMenu::makeMenu(actions, Qt::RightToLeft));
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
    for (const int other : {2, 3, 5}) {
        items[other]->trigger();
    }
    EXPECT_EQ(std::tuple(updateChecks, feedbacks, quits), std::tuple(1, 1, 1));

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(row);
    EXPECT_EQ(accessible->role(), QAccessible::ButtonMenu);
    EXPECT_EQ(accessible->actionInterface()->actionNames(),
              QStringList{QAccessibleActionInterface::showMenuAction()} << commands);
    accessible->actionInterface()->doAction(QStringLiteral("Quit Staywake"));
    EXPECT_EQ(quits, 2);

    // The popover closes on Escape.
    QWidget* popover = row->popupWindow();
    ASSERT_NE(popover, nullptr);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(popover, &escape);
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(row->popup(), std::nullopt);
}

TEST(Popover, SitsUnderItsAnchorUnlessOnlyAboveHasRoom) {
    const QRect screen(0, 0, 1000, 700);
    const QSize size(222, 200);
    struct Case {
        QRect anchor;
        QRect frame;
        bool arrowAtTop;
        int arrowX;
    };
    const Case cases[] = {
        {QRect(400, 100, 260, 30), QRect(419, 130, 222, 200), true, 111},
        // Near the bottom edge it opens above the row, the arrow below.
        {QRect(400, 600, 260, 30), QRect(419, 400, 222, 200), false, 111},
        // At the right edge it stays on the screen; the arrow still points at the row.
        {QRect(900, 100, 100, 30), QRect(778, 130, 222, 200), true, 172},
        {QRect(-50, 100, 60, 30), QRect(0, 130, 222, 200), true, 13},
    };
    for (const auto& c : cases) {
        const auto placement = Popover::place(c.anchor, size, screen);
        EXPECT_EQ(placement.frame, c.frame);
        EXPECT_EQ(placement.arrowAtTop, c.arrowAtTop);
        EXPECT_EQ(placement.arrowX, c.arrowX);
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
    toggles[3]->click(); // disabled: a fourth star cannot be added
    EXPECT_EQ(states(), "***---");
    toggles[1]->click();
    EXPECT_EQ(states(), "*o*ooo");
    EXPECT_EQ(store.pinnedSeconds(), (std::vector<double>{1800, 7200}));
    toggles[5]->click();
    EXPECT_EQ(states(), "*-*--*");
    for (const int starred : {0, 2, 5}) {
        toggles[starred]->click();
    }
    EXPECT_EQ(states(), "oooooo");
    presets->pin({AwakeDuration{3600}}); // a change made elsewhere shows at once
    EXPECT_EQ(states(), "o*oooo");
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(toggles[1]);
    EXPECT_EQ(accessible->role(), QAccessible::CheckBox);
    EXPECT_TRUE(accessible->state().checked);
}

TEST(AboutPopup, ShowsTheVersionLineOnlyWhenTheBundleNamesAVersion) {
    const AboutPopup withVersion(AboutInfo{"1.2", "45"});
    ASSERT_NE(withVersion.versionLine(), nullptr);
    EXPECT_EQ(withVersion.versionLine()->text(), QStringLiteral("Version 1.2 (45)"));
    const AboutPopup withoutVersion(std::nullopt);
    EXPECT_EQ(withoutVersion.versionLine(), nullptr);
    EXPECT_EQ(withoutVersion.findChildren<QLabel*>().size(), 1) << "only the name";
}

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
