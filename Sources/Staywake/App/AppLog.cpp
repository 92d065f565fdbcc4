#include "Staywake/App/AppLog.h"

namespace staywake {

Q_LOGGING_CATEGORY(appLog, "staywake.app", QtInfoMsg)

} // namespace staywake
