// Draws the settings row, its menu, both popovers and both quit alerts in English and
// Arabic into a folder, for people to look at: <folder>/<piece>-<language>.png.

#include "Staywake/Quit/QuitConfirmationAlert.h"
#include "Staywake/Settings/SettingsMenu.h"
#include "Staywake/Translations/AppTranslations.h"
#include "StaywakeCore/Durations/InMemoryPresetDurationStore.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QVBoxLayout>
#include <cstdio>
#include <memory>

using namespace staywake;

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <translations folder> <screenshots folder>\n", argv[0]);
        return 2;
    }
    AppTranslations translations(QString::fromLocal8Bit(argv[1]));
    const QDir folder(QString::fromLocal8Bit(argv[2]));
    InMemoryPresetDurationStore store(std::vector<double>{1800, 3600, 14400});
    auto presets = std::make_shared<PresetDurationsController>(store);
    bool saved = folder.mkpath(QStringLiteral("."));
    const auto save = [&](QWidget& widget, const QString& name) {
        widget.adjustSize();
        const QString path = folder.filePath(name + QStringLiteral(".png"));
        const bool ok = widget.grab().save(path);
        std::fprintf(ok ? stdout : stderr, "%s%s\n", ok ? "" : "could not write ", qPrintable(path));
        saved &= ok;
    };
    for (const auto& [language, locale, direction] : {std::tuple{QString("en"), "en_US", Qt::LeftToRight},
                                                      std::tuple{QString("ar"), "ar_EG", Qt::RightToLeft}}) {
        saved &= translations.install(language) > 0;
        QApplication::setLayoutDirection(direction);
        QWidget panel;
        auto* row = new SettingsMenu(
            presets, [] {}, [] {}, {direction, locale, language.toStdString(), AboutInfo{"1.2", "45"}}, {},
            &panel);
        (new QVBoxLayout(&panel))->addWidget(row);
        panel.setGeometry(200, 40, 260, 60);
        panel.show();
        save(panel, "settings-row-" + language);
        const std::unique_ptr<QMenu> menu(SettingsMenu::makeMenu(row->actions(), direction));
        save(*menu, "menu-" + language);
        for (const auto& [popup, name] : {std::pair{SettingsMenu::Popup::settings, "preset-durations"},
                                          std::pair{SettingsMenu::Popup::about, "about"}}) {
            row->openPopup(popup);
            save(*row->popupWindow(), QString::fromLatin1(name) + "-" + language);
            row->popupWindow()->close();
        }
        for (const auto& [kind, seconds, name] :
             {std::tuple{QuitConfirmation::Kind::awakeMode, 1800, "quit-awake-mode"},
              std::tuple{QuitConfirmation::Kind::nightBrew, 7200, "quit-night-brew"}}) {
            const auto alert = QuitConfirmationAlert::make({kind, double(seconds)}, locale, direction);
            alert->show();
            save(*alert, QString::fromLatin1(name) + "-" + language);
        }
    }
    return saved ? 0 : 1;
}
