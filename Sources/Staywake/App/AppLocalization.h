#pragma once

#include <QString>
#include <QStringList>
#include <Qt>

#include <string>

namespace staywake {

/// The language this process shows its interface in, decided once at start.
struct AppLocalization {
    /// The localization shipped with the app that is in use ("de").
    QString language;
    Qt::LayoutDirection direction = Qt::LeftToRight;
    /// The ICU locale the interface's numbers, dates and durations are
    /// formatted in: the localization's language with the user's region and
    /// preferences.
    std::string locale;

    /// The first of the user's UI languages (BCP 47, best first) that a
    /// shipped localization serves, else `development`. A shipped "de"
    /// serves "de-AT"; a shipped "zh-Hans" serves "zh-Hans-CN" but not
    /// "zh-Hant"; where several serve, the most specific wins.
    static QString preferred(const QStringList& uiLanguages, const QStringList& shipped,
                             const QString& development = QStringLiteral("en"));

    /// The localization for these UI languages, with `baseLocale` (an ICU
    /// locale id, the user's own) supplying region and preferences.
    static AppLocalization resolve(const QStringList& uiLanguages, const QStringList& shipped,
                                   const std::string& baseLocale);
};

} // namespace staywake
