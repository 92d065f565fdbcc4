#include "Staywake/Panel/AwakePanel.h"

#include "Staywake/Panel/AwakePanelContent.h"

#include <QEvent>

namespace staywake {

AwakePanel::AwakePanel(std::shared_ptr<AwakeController> controller, std::shared_ptr<LoginItemController> loginItem,
                       std::shared_ptr<PresetDurationsController> presets, std::shared_ptr<LidAwakeController> lid,
                       std::function<void()> checkForUpdates, QWidget* settingsRow, Links links,
                       std::string locale, bool reduceMotion, QWidget* parent)
    : QWidget(parent), checkForUpdates_(std::move(checkForUpdates)) {
    content_ = std::make_unique<AwakePanelContent>(
        *this,
        AwakePanelContent::Controllers{std::move(controller), std::move(loginItem), std::move(presets),
                                       std::move(lid)},
        settingsRow, std::move(links), std::move(locale), reduceMotion);
    watchWindow();
}

AwakePanel::~AwakePanel() = default;

void AwakePanel::refresh() { content_->refresh(); }

void AwakePanel::setHolders(const QStringList& holders) { content_->setHolders(holders); }

void AwakePanel::showProblem(const QString& sentence) { content_->showProblem(sentence); }

bool AwakePanel::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::ParentChange:
        watchWindow();
        break;
    default:
        // As a window of its own the panel hears its window's events directly.
        if (isWindow()) {
            windowChanged(event->type());
        }
        break;
    }
    return QWidget::event(event);
}

bool AwakePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindow_) {
        windowChanged(event->type());
    }
    return QWidget::eventFilter(watched, event);
}

void AwakePanel::windowChanged(QEvent::Type type) {
    // An opening is the window being shown or activated, whichever comes
    // first: Qt never activates a popup window, and an ordinary window is
    // activated again without being hidden when the user comes back to it.
    switch (type) {
    case QEvent::Show:
        if (!refreshedSinceShown_) {
            refreshedSinceShown_ = true;
            refresh();
        }
        break;
    case QEvent::WindowActivate:
        if (!refreshedSinceShown_) {
            refresh();
        }
        refreshedSinceShown_ = false;
        break;
    case QEvent::Hide:
        refreshedSinceShown_ = false;
        break;
    default:
        break;
    }
}

void AwakePanel::watchWindow() {
    QWidget* window = isWindow() ? nullptr : this->window();
    if (window == watchedWindow_.data()) {
        return;
    }
    if (watchedWindow_) {
        watchedWindow_->removeEventFilter(this);
    }
    watchedWindow_ = window;
    if (watchedWindow_) {
        watchedWindow_->installEventFilter(this);
    }
}

} // namespace staywake
