#include "Staywake/Translations/Localized.h"

#include <QCoreApplication>

namespace staywake {

QString localized(const LocalizableText& text) {
    if (text.table.empty()) {
        return QString::fromStdString(text.key);
    }
    // The translated pattern takes the arguments the way the English key does.
    LocalizableText translated = text;
    translated.key = QCoreApplication::translate(text.table.c_str(), text.key.c_str()).toStdString();
    return QString::fromStdString(translated.english());
}

QString localized(const MenuBarIcon::LocalizedText& text) {
    return localized(LocalizableText{std::string(text.table), std::string(text.key), {}});
}

} // namespace staywake
