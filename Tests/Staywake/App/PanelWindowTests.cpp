#include "Staywake/App/PanelWindow.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace staywake {
namespace {

QWidget* panelOfHeight(int height) {
    auto* panel = new QWidget;
    panel->setFixedSize(260, height);
    return panel;
}

TEST(PanelWindow, StaysAboveABottomTrayIconWhenThePanelChangesHeight) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget* panel = panelOfHeight(300);
    PanelWindow window(panel, PanelWindow::Kind::popup);
    const QRect icon(screen.center().x(), screen.bottom() - 21, 22, 22);

    window.open(icon, QPoint());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    panel->setFixedHeight(200);
    QTRY_COMPARE(window.height(), 200);
    EXPECT_EQ(window.geometry().bottom(), icon.top() - 1);
    window.close();
}

// The second click on the tray icon, and the click that closed the popup, need a
// real X server: the end-to-end tray tests click them.

TEST(PanelWindow, WithoutATrayClosingTheWindowIsAQuitRequest) {
    PanelWindow window(panelOfHeight(100), PanelWindow::Kind::window);
    QSignalSpy closed(&window, &PanelWindow::userClosed);
    window.open(QRect(), QPoint());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), "Staywake");

    window.close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(window.isVisible()) << "the window stays until the app has ended";
}

} // namespace
} // namespace staywake
