// Draws the app's icons into a folder as PNG files (the application icon also as SVG).
//
//   StaywakeIconExport --theme OUTPUT-FOLDER
//     hicolor/<n>x<n>/apps/com.staywake.app.png, hicolor/scalable/apps/com.staywake.app.svg:
//     the application icon for the icon theme, drawn at build time and installed.
//   StaywakeIconExport --preview OUTPUT-FOLDER
//     menubar/<state>[-rtl]@<scale>x.png, the menu-bar item in every state, and
//     glyphs/<glyph>-<points>pt@<scale>x.png, the panel's glyphs, for people to look at.
//
// Every file is replaced atomically, so a reader never sees one half written. Exits non-zero
// when a file could not be written or came out empty.

#include "Staywake/Icon/AppIcon.h"
#include "Staywake/Icon/GlyphImage.h"
#include "Staywake/Icon/MenuBarIconImage.h"
#include "StaywakeIconExport/SvgIcon.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>

#include <cstdio>
#include <cstring>
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

// QSaveFile writes beside the target and renames it into place on commit.
template <typename Write> void writeFile(const QString& path, Write write) {
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    report(path, file.open(QIODevice::WriteOnly) && write(file) && file.commit());
}

void writeImage(const QImage& image, const QString& path) {
    writeFile(path, [&](QSaveFile& file) { return !image.isNull() && image.save(&file, "PNG"); });
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

void writePreview(const QString& root) {
    const struct {
        const char* name;
        MenuBarIcon icon;
    } states[] = {
        {"off", MenuBarIcon{false, false, false}},          {"on", MenuBarIcon{true, false, false}},
        {"on-timer", MenuBarIcon{true, true, false}},       {"nightbrew", MenuBarIcon{true, false, true}},
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
}

void writeTheme(const QString& root) {
    for (const int pixels : staywake::AppIcon::themeSizes) {
        writeImage(staywake::AppIcon::image(pixels),
                   QStringLiteral("%1/hicolor/%2x%2/apps/com.staywake.app.png").arg(root).arg(pixels));
    }
    const QByteArray svg = QByteArray::fromStdString(staywake::svgAppIcon(256));
    writeFile(root + "/hicolor/scalable/apps/com.staywake.app.svg",
              [&](QSaveFile& file) { return file.write(svg) == svg.size(); });
}

} // namespace

int main(int argc, char** argv) {
    // Only images are drawn, never a window: no display is needed, also not at build time.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const bool theme = argc == 3 && std::strcmp(argv[1], "--theme") == 0;
    const bool preview = argc == 3 && std::strcmp(argv[1], "--preview") == 0;
    if (!theme && !preview) {
        std::fprintf(stderr, "usage: %s --theme|--preview OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[2]);
    if (theme) {
        writeTheme(root);
    } else {
        writePreview(root);
    }

    if (!failed) {
        std::printf("icons written to %s\n", qPrintable(QDir(root).absolutePath()));
    }
    return failed ? 1 : 0;
}
