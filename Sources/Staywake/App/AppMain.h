#pragma once

namespace staywake {

/// The Staywake app from start to end: one instance per session, the
/// controllers, the tray item and its panel. Returns the exit status.
int runStaywake(int argc, char** argv);

} // namespace staywake
