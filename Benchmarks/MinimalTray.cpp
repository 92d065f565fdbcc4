// The smallest Qt Widgets tray app: one tray icon with an icon, and a plain
// menu that a click on it pops up (made on the first click). Its start time,
// memory, wakeups and menu opening are the floor Staywake is measured against.
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <memory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::black);
    QSystemTrayIcon icon{QIcon(pixmap)};
    std::unique_ptr<QMenu> menu;
    QObject::connect(&icon, &QSystemTrayIcon::activated, [&](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger) {
            return;
        }
        if (!menu) {
            menu = std::make_unique<QMenu>();
            for (const char* item :
                 {"Choose preset durations…", "About", "Check for Updates…", "Send Feedback", "Quit"}) {
                menu->addAction(QString::fromUtf8(item));
            }
        }
        menu->popup(QCursor::pos());
    });
    icon.show();
    return QApplication::exec();
}
