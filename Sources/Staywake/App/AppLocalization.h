#pragma once

#include <QString>
#include <QStringList>
#include <Qt>

#include <functional>
#include <string>

namespace staywake {

/// The language this process shows its interface in, decided once at start.
struct AppLocalization {
    /// The localization shipped with the app that is in use ("de").
    QString language;
    /// The localization's own direction, from Qt's locale data.
    Qt::LayoutDirection direction = Qt::LeftToRight;
    /// The ICU locale the interface's numbers, dates and durations are
    /// formatted in: the localization's language with the user's region and
    /// preferences. Worked out on the first call and kept, so that ICU's
    /// locale code is paged in once something is worded, not at start.
    std::function<std::string()> locale = [] { return std::string("en"); };

    /// The first of the user's UI languages (BCP 47, best first) that a
    /// shipped localization serves, else `development`. A shipped "de"
    /// serves "de-AT"; a shipped "zh-Hans" serves "zh-Hans-CN" but not
    /// "zh-Hant"; where several serve, the most specific wins.
    static QString preferred(const QStringList& uiLanguages, const QStringList& shipped,
                             const QString& development = QStringLiteral("en"));

    /// The localization for these UI languages, with `baseLocale` (an ICU
    /// locale id, the user's own, asked for on the first `locale()`)
    /// supplying region and preferences.
    static AppLocalization resolve(const QStringList& uiLanguages, const QStringList& shipped,
                                   std::function<std::string()> baseLocale);
};

} // namespace staywake
