#pragma once

#include "StaywakeCore/Settings/AboutInfo.h"

#include <QWidget>
#include <optional>

class QLabel;

namespace staywake {

/// The about popover's content, 220 pixels wide: the filled cup in the accent
/// colour, "Staywake" and, when the bundle names one, "Version …".
class AboutPopup final : public QWidget {
public:
    explicit AboutPopup(const std::optional<AboutInfo>& info, QWidget* parent = nullptr);

    /// The version line; null when there is no version to show.
    QLabel* versionLine() const { return versionLine_; }

private:
    QLabel* versionLine_ = nullptr;
};

} // namespace staywake
