#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QLabel;
class QWidget;

namespace staywake {

/// The panel's named text styles. Sizes are relative to the application font,
/// which counts as body (13 at the default), so a larger desktop font enlarges
/// every style alike.
enum class TextStyle { body, headline, subheadline, callout, footnote, title2, caption2, largeTitle };

/// The font of a style, derived from `base` (the application font).
QFont textFont(TextStyle style, const QFont& base);

/// A length given at the default body size, scaled as the fonts are.
double scaledMetric(double length, const QFont& base);

/// The panel's named colours, from the palette so that a dark theme works.
enum class PanelColor { accent, primary, secondary, red };

QColor panelColor(PanelColor color, const QPalette& palette);

/// Aligns a label's text to the leading edge of its widget, also when the text
/// itself runs the other way (a name in Latin letters in a right-to-left panel).
void alignLeading(QLabel& label, Qt::Alignment vertical = Qt::AlignVCenter);

/// Gives `widget` the font of a style and, as its text colour, a panel colour.
void applyTextStyle(QWidget& widget, TextStyle style, PanelColor color);

} // namespace staywake
