#pragma once

#include <QWidget>

namespace staywake {

/// A small frameless popup with an arrow that points at the widget it belongs
/// to. It closes on Escape and on a click outside it, and deletes itself (and
/// its content) when it closes.
class Popover final : public QWidget {
public:
    /// Where a popover of `size` (arrow included) goes for an anchor rectangle,
    /// both in global coordinates: below the anchor with the arrow on top, or
    /// above it with the arrow at the bottom when there is no room below;
    /// centred on the anchor and kept on the screen's available area.
    struct Placement {
        QRect frame;
        bool arrowAtTop = true;
        /// The arrow's tip, from the frame's left edge.
        int arrowX = 0;
    };
    static Placement place(const QRect& anchor, const QSize& size, const QRect& available);

    static constexpr int arrowHeight = 8;
    static constexpr int arrowHalfWidth = 9;

    /// Takes `content`; `anchor` also becomes the popover's parent.
    Popover(QWidget* content, QWidget* anchor);

    /// Places the popover at its anchor (at the cursor when the anchor is not
    /// on screen) and shows it.
    void popUp();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPolygon outline() const;

    QWidget* anchor_;
    bool arrowAtTop_ = true;
    int arrowX_ = 0;
};

} // namespace staywake
