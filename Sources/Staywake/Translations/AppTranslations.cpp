#include "Staywake/Translations/AppTranslations.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

namespace staywake {

namespace {

// "<area>_<language>.qm"; the language is everything after the last "_", so a
// region ("pt_BR") is not supported and an area may contain "_".
const QRegularExpression& translationFileName() {
    static const QRegularExpression pattern(QStringLiteral("^.+_([A-Za-z]{2,3})\\.qm$"));
    return pattern;
}

} // namespace

AppTranslations::AppTranslations(QString folder) : folder_(std::move(folder)) {}

AppTranslations::~AppTranslations() { removeInstalled(); }

QString AppTranslations::bundleFolder() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../Resources/translations"));
}

QStringList AppTranslations::languages() const {
    QStringList found;
    const auto names = QDir(folder_).entryList({QStringLiteral("*.qm")}, QDir::Files, QDir::Name);
    for (const auto& name : names) {
        const auto match = translationFileName().match(name);
        if (match.hasMatch() && !found.contains(match.captured(1))) {
            found << match.captured(1);
        }
    }
    found.sort();
    return found;
}

int AppTranslations::install(const QString& language) {
    removeInstalled();
    const QDir folder(folder_);
    const auto names = folder.entryList({QStringLiteral("*_%1.qm").arg(language)}, QDir::Files, QDir::Name);
    for (const auto& name : names) {
        const auto match = translationFileName().match(name);
        if (!match.hasMatch() || match.captured(1) != language) {
            continue;
        }
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(folder.filePath(name)) && QCoreApplication::installTranslator(translator.get())) {
            installed_.push_back(std::move(translator));
        }
    }
    return static_cast<int>(installed_.size());
}

void AppTranslations::removeInstalled() {
    for (const auto& translator : installed_) {
        QCoreApplication::removeTranslator(translator.get());
    }
    installed_.clear();
}

} // namespace staywake
