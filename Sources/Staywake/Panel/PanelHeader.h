#pragma once

#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Icon/CupGlyph.h"
#include "StaywakeCore/Lid/LidAwakeController.h"

#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>

namespace staywake {

/// The panel's status line: the app's glyph (solid while on, two mugs while
/// Night Brew is on), the app name and the status with its countdown. It is
/// drawn as one piece and is one accessible element, named by the spoken
/// status, so a screen reader reads one sentence. While visible it redraws
/// itself once a second to advance the countdown; hidden, it keeps no timer.
class PanelHeader final : public QWidget {
    Q_OBJECT

public:
    PanelHeader(std::shared_ptr<const AwakeController> controller, std::shared_ptr<const LidAwakeController> lid,
                std::string locale, QWidget* parent = nullptr);

    /// Reads the controllers again; repaints only when something shown changed.
    void refreshStatus();

    QString statusText() const { return status_; }
    CupGlyph glyph() const { return glyph_; }
    bool isTicking() const { return ticker_.isActive(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    double glyphPointSize() const;
    double glyphColumnWidth() const;

    std::shared_ptr<const AwakeController> controller_;
    std::shared_ptr<const LidAwakeController> lid_;
    std::string locale_;
    QTimer ticker_;
    QString status_;
    CupGlyph glyph_{CupGlyph::Vessel::cup, false};
    bool isOn_ = false;
};

} // namespace staywake
