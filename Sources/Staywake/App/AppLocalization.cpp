#include "Staywake/App/AppLocalization.h"

#include "StaywakeCore/Language/AppLanguage.h"

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
                                         const std::string& baseLocale) {
    AppLocalization result;
    result.language = preferred(uiLanguages, shipped);
    const std::vector<std::string> preferring{result.language.toStdString()};
    result.direction = AppLanguage::direction(preferring) == AppLanguage::LayoutDirection::rightToLeft
                           ? Qt::RightToLeft
                           : Qt::LeftToRight;
    result.locale = AppLanguage::resolvedLocale(preferring, baseLocale);
    return result;
}

} // namespace staywake
