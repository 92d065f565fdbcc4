#pragma once

#include <QAbstractButton>

namespace staywake {

/// A link-style button: its title in the accent colour and the footnote font,
/// leading-aligned, wrapping to as many lines as it needs, underlined while
/// the pointer is over it.
class PanelLink final : public QAbstractButton {
    Q_OBJECT

public:
    explicit PanelLink(const QString& title = {}, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QRect textBounds(int width) const;
};

} // namespace staywake
