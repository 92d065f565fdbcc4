#include "PanelWorld.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QPixmap>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace staywake {
namespace {

using testing::PanelLanguage;
using testing::PanelSetup;
using testing::PanelWorld;
using testing::with;

struct Shot {
    std::string file;
    QString language;
    PanelSetup setup;
    std::function<void(PanelWorld&)> act;
};

// Writes the panel in the states worth looking at into <build>/screenshots,
// for people to check by eye and for the README.
TEST(PanelScreenshots, WritesEveryStateWorthLookingAt) {
    const QDir folder(QStringLiteral(STAYWAKE_SCREENSHOTS_DIR));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    const auto presets = [](PanelSetup& s) { s.pinned = {1800, 3600, 7200}; };
    const std::vector<Shot> shots = {
        {"off", "en", with(presets), nullptr},
        {"on-countdown", "en", with(presets), [](PanelWorld& w) { w.awake->turnOn(5400); }},
        {"on-presets", "en", with(presets), [](PanelWorld& w) { w.awake->turnOn(std::nullopt); }},
        {"refused-at-launch", "en", with([](PanelSetup& s) {
             s.stored = StoredAwakeIntent::intent(AwakeIntent::indefinite());
             s.refusalCode = -3;
         }),
         nullptr},
        {"heat-warning", "en", with([](PanelSetup& s) { s.acknowledged = false; }), nullptr},
        {"night-brew-on-battery", "en", with([](PanelSetup& s) { s.onBattery = true; }),
         [](PanelWorld& w) { w.lid->turnOnJoiningSessionOr(AwakeDuration::lidClosedDefault().seconds); }},
        {"helper-needs-approval", "en", with(presets),
         [](PanelWorld& w) {
             w.lidBlocker->nextPreparationError =
                 std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval());
             w.lid->turnOnJoiningSessionOr(AwakeDuration::lidClosedDefault().seconds);
         }},
        {"login-away-from-applications", "en", with([](PanelSetup& s) {
             s.login = LoginItemState::enabled;
             s.stableLocation = false;
         }),
         nullptr},
        {"ar-on-countdown", "ar", with(presets), [](PanelWorld& w) { w.awake->turnOn(5400); }},
        {"ar-heat-warning", "ar", with([](PanelSetup& s) { s.acknowledged = false; }), nullptr},
        {"de-night-brew-on-battery", "de", with([](PanelSetup& s) { s.onBattery = true; }),
         [](PanelWorld& w) { w.lid->turnOnJoiningSessionOr(AwakeDuration::lidClosedDefault().seconds); }},
    };
    for (const auto& shot : shots) {
        SCOPED_TRACE(shot.file);
        PanelLanguage language(shot.language);
        PanelWorld world(shot.setup, shot.language.toStdString());
        if (shot.act) {
            shot.act(world);
        }
        world.panel->show();
        QCoreApplication::processEvents();
        const QPixmap image = world.panel->grab();
        if (shot.file == "ar-heat-warning") {
            for (auto* w : world.panel->findChildren<QWidget*>()) {
                if (w->isVisible())
                    qInfo() << w->metaObject()->className() << w->objectName() << w->geometry()
                            << w->minimumSizeHint() << w->layoutDirection();
            }
        }
        EXPECT_EQ(image.width(), qRound(260 * image.devicePixelRatio()));
        const QString path = folder.filePath(QString::fromStdString(shot.file) + ".png");
        EXPECT_TRUE(image.save(path)) << path.toStdString();
    }
}

} // namespace
} // namespace staywake
