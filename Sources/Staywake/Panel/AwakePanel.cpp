#include "Staywake/Panel/AwakePanel.h"

#include "Staywake/Panel/AwakePanelContent.h"

#include <QEvent>

namespace staywake {

AwakePanel::AwakePanel(std::shared_ptr<AwakeController> controller,
                       std::shared_ptr<LoginItemController> loginItem,
                       std::shared_ptr<PresetDurationsController> presets,
                       std::shared_ptr<LidAwakeController> lid, std::function<void()> checkForUpdates,
                       QWidget* settingsRow, Links links, std::string locale, bool reduceMotion,
                       QWidget* parent)
    : QWidget(parent), checkForUpdates_(std::move(checkForUpdates)) {
    content_ = std::make_unique<AwakePanelContent>(
        *this,
        AwakePanelContent::Controllers{std::move(controller), std::move(loginItem), std::move(presets),
                                       std::move(lid)},
        settingsRow, std::move(links), std::move(locale), reduceMotion);
    watchWindow();
}

AwakePanel::~AwakePanel() = default;

void AwakePanel::refresh() {
    content_->refresh();
}

void AwakePanel::setHolders(const QStringList& holders) {
    content_->setHolders(holders);
}

void AwakePanel::showProblem(const QString& sentence) {
    content_->showProblem(sentence);
}

bool AwakePanel::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::ParentChange:
        watchWindow();
        break;
    case QEvent::WindowActivate:
        // As a window of its own the panel hears its activation directly.
        if (isWindow()) {
            refresh();
        }
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool AwakePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindow_ && event->type() == QEvent::WindowActivate) {
        refresh();
    }
    return QWidget::eventFilter(watched, event);
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
