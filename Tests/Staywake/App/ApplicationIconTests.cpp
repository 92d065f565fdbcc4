#include "Staywake/App/ApplicationIcon.h"

#include <QApplication>
#include <QDialog>
#include <QPixmap>

#include <gtest/gtest.h>

namespace staywake {
namespace {

TEST(ApplicationIcon, IsMadeOnceWhenTheFirstManagedWindowOpensAndNeverForPopupsTooltipsOrTheTray) {
    int made = 0;
    ApplicationIcon::setOnFirstWindow(*qobject_cast<QApplication*>(QCoreApplication::instance()), [&made] {
        ++made;
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::darkYellow);
        return QIcon(pixmap);
    });
    for (const Qt::WindowFlags flags :
         {Qt::WindowFlags(Qt::ToolTip), Qt::WindowFlags(Qt::Popup), Qt::Window | Qt::BypassWindowManagerHint}) {
        QWidget unmanaged(nullptr, flags);
        unmanaged.show();
    }
    EXPECT_EQ(made, 0);
    EXPECT_TRUE(QApplication::windowIcon().isNull());

    QDialog first;
    first.show();
    QWidget second;
    second.show();
    EXPECT_EQ(made, 1);
    EXPECT_FALSE(first.windowIcon().isNull());
    EXPECT_EQ(second.windowIcon().cacheKey(), first.windowIcon().cacheKey());
}

} // namespace
} // namespace staywake
