#include "Staywake/Icon/ThemedSymbol.h"

#include <QIcon>
#include <QPainter>

namespace staywake {

void paintThemedSymbol(QPainter& painter, const char* themeIconName, const QRectF& frame, double size,
                       const std::function<void(const QRectF& box)>& drawn) {
    const QRectF box(frame.center().x() - size / 2, frame.center().y() - size / 2, size, size);
    const QIcon themed = QIcon::fromTheme(QString::fromLatin1(themeIconName));
    if (!themed.isNull()) {
        themed.paint(&painter, box.toAlignedRect());
        return;
    }
    drawn(box);
}

} // namespace staywake
