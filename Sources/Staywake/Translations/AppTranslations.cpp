#include "Staywake/Translations/AppTranslations.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>

namespace staywake {

namespace {

// The language of "<area>_<language>.qm": everything after the last "_", two or
// three ASCII letters, so a region ("pt_BR") is not supported and an area may
// contain "_". Plain string work rather than a pattern: the app reads these
// names once at start, and a regular expression (or a wildcard name filter,
// which Qt turns into one) would load and run PCRE's compiler for it.
QString languageOf(const QString& name) {
    const QLatin1String suffix(".qm");
    if (!name.endsWith(suffix)) {
        return {};
    }
    const QStringView stem = QStringView(name).chopped(suffix.size());
    const auto separator = stem.lastIndexOf(u'_');
    if (separator < 1) {
        return {};
    }
    const QStringView language = stem.mid(separator + 1);
    const bool letters = std::all_of(language.begin(), language.end(),
                                     [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); });
    return letters && language.size() >= 2 && language.size() <= 3 ? language.toString() : QString();
}

} // namespace

AppTranslations::AppTranslations(QString folder) : folder_(std::move(folder)) {}

AppTranslations::~AppTranslations() { removeInstalled(); }

QString AppTranslations::bundleFolder() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../Resources/translations"));
}

QStringList AppTranslations::languages() const {
    QStringList found;
    const auto names = QDir(folder_).entryList(QDir::Files, QDir::Name);
    for (const auto& name : names) {
        const QString language = languageOf(name);
        if (!language.isEmpty() && !found.contains(language)) {
            found << language;
        }
    }
    found.sort();
    return found;
}

int AppTranslations::install(const QString& language) {
    removeInstalled();
    const QDir folder(folder_);
    const auto names = folder.entryList(QDir::Files, QDir::Name);
    for (const auto& name : names) {
        if (language.isEmpty() || languageOf(name) != language) {
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
