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

namespace {

bool save(QWidget& widget, const QDir& folder, const QString& name) {
    widget.adjustSize();
    const QString path = folder.filePath(name + QStringLiteral(".png"));
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <translations folder> <screenshots folder>\n", argv[0]);
        return 2;
    }
    AppTranslations translations(QString::fromLocal8Bit(argv[1]));
    const QDir folder(QString::fromLocal8Bit(argv[2]));
    if (!folder.mkpath(QStringLiteral("."))) {
        return 1;
    }
    InMemoryPresetDurationStore store(std::vector<double>{1800, 3600, 14400});
    auto presets = std::make_shared<PresetDurationsController>(store);

    bool saved = true;
    const struct {
        QString language;
        std::string locale;
        Qt::LayoutDirection direction;
    } languages[] = {{"en", "en_US", Qt::LeftToRight}, {"ar", "ar_EG", Qt::RightToLeft}};
    for (const auto& language : languages) {
        if (translations.install(language.language) == 0) {
            std::fprintf(stderr, "no %s translation in %s\n", qPrintable(language.language), argv[1]);
            return 1;
        }
        QApplication::setLayoutDirection(language.direction);
        QWidget panel;
        auto* layout = new QVBoxLayout(&panel);
        auto* row = new SettingsMenu(
            presets, [] {}, [] {},
            {language.direction, language.locale, language.language.toStdString(), AboutInfo{"1.2", "45"}}, {},
            &panel);
        layout->addWidget(row);
        panel.setGeometry(200, 40, 260, 60);
        panel.show();

        saved &= save(panel, folder, "settings-row-" + language.language);
        const std::unique_ptr<QMenu> menu(SettingsMenu::makeMenu(row->actions(), language.direction));
        saved &= save(*menu, folder, "menu-" + language.language);
        for (const auto& [popup, name] : {std::pair{SettingsMenu::Popup::settings, "preset-durations"},
                                          std::pair{SettingsMenu::Popup::about, "about"}}) {
            row->openPopup(popup);
            saved &= save(*row->popupWindow(), folder, QString::fromLatin1(name) + "-" + language.language);
            row->popupWindow()->close();
        }
        for (const auto& [confirmation, name] :
             {std::pair{QuitConfirmation{QuitConfirmation::Kind::awakeMode, 1800}, "quit-awake-mode"},
              std::pair{QuitConfirmation{QuitConfirmation::Kind::nightBrew, 7200}, "quit-night-brew"}}) {
            const auto alert = QuitConfirmationAlert::make(confirmation, language.locale, language.direction);
            alert->show();
            saved &= save(*alert, folder, QString::fromLatin1(name) + "-" + language.language);
        }
    }
    return saved ? 0 : 1;
}
