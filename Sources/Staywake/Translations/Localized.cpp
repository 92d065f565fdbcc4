#include "Staywake/Translations/Localized.h"

#include <QCoreApplication>

namespace staywake {

QString filledIn(const QString& pattern, const QStringList& arguments) {
    QString text;
    text.reserve(pattern.size());
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar next = i + 1 < pattern.size() ? pattern[i + 1] : QChar();
        if (pattern[i] == u'%' && next >= u'1' && next <= u'9') {
            const auto index = static_cast<qsizetype>(next.unicode() - u'1');
            if (index < arguments.size()) {
                text += arguments[index];
                ++i;
                continue;
            }
        }
        text += pattern[i];
    }
    return text;
}

QString localized(const LocalizableText& text) {
    if (text.table.empty()) {
        return QString::fromStdString(text.key);
    }
    QStringList arguments;
    arguments.reserve(static_cast<qsizetype>(text.arguments.size()));
    for (const auto& argument : text.arguments) {
        arguments << QString::fromStdString(argument);
    }
    return filledIn(QCoreApplication::translate(text.table.c_str(), text.key.c_str()), arguments);
}

QString localized(const MenuBarIcon::LocalizedText& text) {
    return localized(LocalizableText{std::string(text.table), std::string(text.key), {}});
}

} // namespace staywake
