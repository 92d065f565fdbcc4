#pragma once

#include "Staywake/Panel/PanelSymbol.h"
#include "StaywakeCore/Icon/CupGlyph.h"

#include <QWidget>
#include <variant>

class QLabel;

namespace staywake {

/// A row's label: an icon in a fixed-width column (22 at the default font
/// size, scaled with it), then the title, in the callout font.
class PanelRowLabel final : public QWidget {
    Q_OBJECT

public:
    /// A theme symbol, or the app's glyph.
    using Icon = std::variant<PanelSymbol, CupGlyph>;

    PanelRowLabel(const QString& title, Icon icon, QWidget* parent = nullptr);

    QString title() const;
    void setTitle(const QString& title);

private:
    QLabel* title_;
};

} // namespace staywake
