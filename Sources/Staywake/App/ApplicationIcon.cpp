#include "Staywake/App/ApplicationIcon.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <utility>

namespace staywake::ApplicationIcon {

namespace {

class FirstWindowWatch final : public QObject {
public:
    FirstWindowWatch(QApplication& application, std::function<QIcon()> make)
        : QObject(&application), make_(std::move(make)) {
        application.installEventFilter(this);
    }

    // A window's show event comes before it is mapped, so the icon is on it
    // when the window manager first sees it.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType() && make_) {
            const auto* widget = static_cast<QWidget*>(watched);
            const auto type = widget->windowType();
            if ((type == Qt::Window || type == Qt::Dialog) &&
                !widget->windowFlags().testFlag(Qt::BypassWindowManagerHint)) {
                QApplication::setWindowIcon(std::exchange(make_, nullptr)());
                deleteLater();
            }
        }
        return false;
    }

private:
    std::function<QIcon()> make_;
};

} // namespace

void setOnFirstWindow(QApplication& application, std::function<QIcon()> make) {
    new FirstWindowWatch(application, std::move(make));
}

} // namespace staywake::ApplicationIcon
