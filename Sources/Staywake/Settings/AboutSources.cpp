#include "Staywake/Settings/AboutSources.h"

#include "StaywakeCore/Settings/FeedbackLink.h"
#include "StaywakeLinux/Bundle/BundleInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace staywake {

namespace {

// os-release is a handful of lines; anything this big is not one.
constexpr qint64 osReleaseSizeLimit = 65536;

std::optional<QByteArray> readSmallFile(const QString& path, qint64 limit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.isSequential()) {
        return std::nullopt;
    }
    QByteArray bytes = file.read(limit + 1);
    if (bytes.size() > limit || file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace

QString bundleInfoPlistPath() {
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../Info.plist"));
}

std::optional<AboutInfo> readAboutInfo(const QString& path) {
    return AboutInfo::fromInfoDictionary(BundleInfo::read(path.toStdString()));
}

std::optional<std::string> readOperatingSystem(const QStringList& paths) {
    for (const QString& path : paths) {
        if (const auto bytes = readSmallFile(path, osReleaseSizeLimit)) {
            return FeedbackLink::operatingSystem(bytes->toStdString());
        }
    }
    return std::nullopt;
}

} // namespace staywake
