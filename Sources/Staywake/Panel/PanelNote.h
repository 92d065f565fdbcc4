#pragma once

#include "Staywake/Panel/PanelSymbol.h"
#include "Staywake/Panel/TextStyle.h"

#include <QWidget>

class QLabel;

namespace staywake {

/// A footnote: a symbol in a column 12 wide at the default font size (scaled
/// with it), then the text, wrapping to as many lines as it needs, in the
/// footnote font. A failure notice is one with the warning symbol in red.
class PanelNote final : public QWidget {
    Q_OBJECT

public:
    PanelNote(PanelSymbol symbol, PanelColor color, const QString& text = {}, QWidget* parent = nullptr);

    /// A failure notice: the warning symbol and red text.
    static PanelNote* failure(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);

private:
    QLabel* text_;
};

/// A wrapping label in a text style and panel colour.
QLabel* styledLabel(TextStyle style, PanelColor color, const QString& text = {}, QWidget* parent = nullptr);

} // namespace staywake
