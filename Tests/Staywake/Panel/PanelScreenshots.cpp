#include "PanelWorld.h"

#include <QApplication>
#include <QDir>
#include <QRegularExpression>

namespace staywake {
namespace {

// Writes the panel in each state of the panel tests, in three languages, into
// <build>/screenshots/panel-<language>-<state>.png for people to check by eye.
TEST(PanelScreenshots, WritesEveryState) {
    const QDir folder(QStringLiteral(STAYWAKE_SCREENSHOTS_DIR));
    ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));
    for (const QString language : {"en", "ar", "de"}) {
        testing::PanelLanguage translated(language);
        for (const auto& state : testing::panelStates()) {
            testing::PanelWorld world(state.setup, language.toStdString());
            if (state.act) {
                state.act(world);
            }
            world.panel->show();
            QCoreApplication::processEvents();
            QString name = QString::fromStdString(state.name).replace(QRegularExpression("[^a-zA-Z0-9]+"), "-");
            const QString path = folder.filePath("panel-" + language + "-" + name + ".png");
            EXPECT_TRUE(world.panel->grab().save(path)) << path.toStdString();
        }
    }
}

} // namespace
} // namespace staywake
