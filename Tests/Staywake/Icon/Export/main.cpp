// Writes every icon the app draws as PNG files (and the application icon also as SVG) into
// a folder, laid out like an icon theme, so that a person can look at them:
//   menubar/<state>[-rtl]@<scale>x.png   the menu-bar item in every state
//   glyphs/<glyph>-<points>pt@<scale>x.png the panel's glyphs
//   hicolor/<n>x<n>/apps/com.staywake.app.png, hicolor/scalable/apps/com.staywake.app.svg
// Exits non-zero when a file could not be written or came out empty.

#include "Staywake/Icon/AppIcon.h"
#include "Staywake/Icon/GlyphImage.h"
#include "Staywake/Icon/MenuBarIconImage.h"
#include "SvgIcon.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <string>

namespace {

using staywake::CupGlyph;
using staywake::MenuBarIcon;
using staywake::TemplateImage;

bool failed = false;

void report(const QString& path, bool ok) {
    if (!ok) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        failed = true;
    }
}

void writeImage(const QImage& image, const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    report(path, !image.isNull() && image.save(path, "PNG"));
}

void writeTemplate(const TemplateImage& image, const QString& folder, const QString& name) {
    if (image.isEmpty()) {
        report(folder + "/" + name, false);
        return;
    }
    for (const int scale : TemplateImage::scales) {
        writeImage(image.representation(scale), QStringLiteral("%1/%2@%3x.png").arg(folder, name).arg(scale));
    }
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);

    const struct {
        const char* name;
        MenuBarIcon icon;
    } states[] = {
        {"off", MenuBarIcon{false, false, false}},
        {"on", MenuBarIcon{true, false, false}},
        {"on-timer", MenuBarIcon{true, true, false}},
        {"nightbrew", MenuBarIcon{true, false, true}},
        {"nightbrew-timer", MenuBarIcon{true, true, true}},
    };
    for (const auto& state : states) {
        writeTemplate(staywake::image(state.icon, Qt::LeftToRight), root + "/menubar", state.name);
        if (state.icon.showsTimerBadge) {
            writeTemplate(staywake::image(state.icon, Qt::RightToLeft), root + "/menubar",
                          QString::fromLatin1(state.name) + "-rtl");
        }
    }

    const struct {
        const char* name;
        CupGlyph glyph;
    } glyphs[] = {
        {"cup", CupGlyph(CupGlyph::Vessel::cup, false)},
        {"cup-filled", CupGlyph(CupGlyph::Vessel::cup, true)},
        {"mugs", CupGlyph(CupGlyph::Vessel::doubleMug, false)},
        {"mugs-filled", CupGlyph(CupGlyph::Vessel::doubleMug, true)},
    };
    for (const auto& glyph : glyphs) {
        for (const int points : {8, 12, 17, 26, 48}) {
            writeTemplate(staywake::image(glyph.glyph, points), root + "/glyphs",
                          QStringLiteral("%1-%2pt").arg(QString::fromLatin1(glyph.name)).arg(points));
        }
    }

    for (const int pixels : staywake::AppIcon::themeSizes) {
        writeImage(staywake::AppIcon::image(pixels),
                   QStringLiteral("%1/hicolor/%2x%2/apps/com.staywake.app.png").arg(root).arg(pixels));
    }
    const QString svgPath = root + "/hicolor/scalable/apps/com.staywake.app.svg";
    QDir().mkpath(QFileInfo(svgPath).path());
    QFile svg(svgPath);
    const std::string document = staywake::svgAppIcon(256);
    report(svgPath, svg.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                        svg.write(document.data(), static_cast<qint64>(document.size())) ==
                            static_cast<qint64>(document.size()));
    svg.close();

    if (!failed) {
        std::printf("icons written to %s\n", qPrintable(QDir(root).absolutePath()));
    }
    return failed ? 1 : 0;
}
