#pragma once

#include "Staywake/Panel/PanelRowLabel.h"

#include <QAbstractButton>

namespace staywake {

/// A switch-style toggle labelled with a PanelRowLabel that spans the row;
/// the switch sits at the trailing edge. Clicking anywhere on the row flips
/// it. Its accessible name is the title.
class PanelSwitch final : public QAbstractButton {
    Q_OBJECT

public:
    PanelSwitch(const QString& title, PanelRowLabel::Icon icon, QWidget* parent = nullptr);

    PanelRowLabel& label() const { return *label_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
    void changeEvent(QEvent* event) override;

private:
    void keepTrackClear();
    QRectF trackRect() const;

    PanelRowLabel* label_;
};

} // namespace staywake
