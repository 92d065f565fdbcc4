#pragma once

#include <QAbstractButton>

namespace staywake {

/// A toggle drawn as a star (yellow and filled when on, an outline in the
/// secondary colour when off) in a 16-pixel column, 6 pixels before its
/// label; the whole row is clickable. Assistive technology sees a checkbox
/// with the label as its name.
class StarToggleStyle final : public QAbstractButton {
public:
    explicit StarToggleStyle(const QString& label, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace staywake
