#include "Staywake/App/AppLocalization.h"

#include "StaywakeCore/Language/AppLanguage.h"

#include <QLocale>

#include <memory>
#include <optional>

namespace staywake {

namespace {

QString normalised(QString tag) { return tag.replace(QLatin1Char('_'), QLatin1Char('-')).toLower(); }

bool serves(const QString& shipped, const QString& wanted) {
    const QString localization = normalised(shipped);
    const QString language = normalised(wanted);
    return language == localization || language.startsWith(localization + QLatin1Char('-'));
}

} // namespace

QString AppLocalization::preferred(const QStringList& uiLanguages, const QStringList& shipped,
                                   const QString& development) {
    for (const QString& wanted : uiLanguages) {
        QString best;
        for (const QString& candidate : shipped) {
            if (serves(candidate, wanted) && candidate.size() > best.size()) {
                best = candidate;
            }
        }
        if (!best.isEmpty()) {
            return best;
        }
    }
    return development;
}

AppLocalization AppLocalization::resolve(const QStringList& uiLanguages, const QStringList& shipped,
                                         std::function<std::string()> baseLocale) {
    AppLocalization result;
    result.language = preferred(uiLanguages, shipped);
    // A tag Qt does not know is the C locale, which reads left to right.
    result.direction = QLocale(result.language).textDirection();
    // Asked for on the GUI thread only.
    result.locale = [resolved = std::make_shared<std::optional<std::string>>(),
                     preferring = std::vector<std::string>{result.language.toStdString()},
                     base = std::move(baseLocale)] {
        if (!*resolved) {
            *resolved = AppLanguage::resolvedLocale(preferring, base());
        }
        return **resolved;
    };
    return result;
}

} // namespace staywake
