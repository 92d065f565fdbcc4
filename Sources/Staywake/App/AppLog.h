#pragma once

#include <QLoggingCategory>

namespace staywake {

/// The shell's log on stderr ("staywake.app"): the tray item appearing and the
/// panel opening and closing, one line each, so that whoever drives the app
/// can wait for them.
Q_DECLARE_LOGGING_CATEGORY(appLog)

} // namespace staywake
