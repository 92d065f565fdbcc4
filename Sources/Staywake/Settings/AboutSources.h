#pragma once

#include "StaywakeCore/Settings/AboutInfo.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

namespace staywake {

/// The running bundle's information file: Contents/Info.plist above the
/// program's Contents/bin folder.
QString bundleInfoPlistPath();

/// The version in the information file at `path`; absent when the file is
/// missing, unreadable, larger than a bundle's information file can be, or
/// holds no property-list dictionary with a version.
std::optional<AboutInfo> readAboutInfo(const QString& path);

/// The operating system as the feedback page names it, from the first
/// readable os-release file of `paths` (the standard locations by default);
/// absent when none can be read.
std::optional<std::string> readOperatingSystem(const QStringList& paths = {QStringLiteral("/etc/os-release"),
                                                                           QStringLiteral("/usr/lib/os-release")});

} // namespace staywake
