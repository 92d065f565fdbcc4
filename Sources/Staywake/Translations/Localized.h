#pragma once

#include "StaywakeCore/Icon/MenuBarIcon.h"
#include "StaywakeCore/Wording/LocalizableText.h"

#include <QString>

namespace staywake {

/// The text in the installed translation: `key` looked up in the context
/// `table` through QCoreApplication::translate (the key itself when there is
/// no translation), then "%1", "%2", ... replaced by the arguments in one pass,
/// so an argument that contains "%1" stays as it is. An empty table marks a
/// text that is shown verbatim: it is neither translated nor filled in.
QString localized(const LocalizableText& text);

/// The same for the tray item's label.
QString localized(const MenuBarIcon::LocalizedText& text);

/// "%1", "%2", ... in `pattern` replaced by `arguments` in one pass; a marker
/// without an argument stays.
QString filledIn(const QString& pattern, const QStringList& arguments);

} // namespace staywake
