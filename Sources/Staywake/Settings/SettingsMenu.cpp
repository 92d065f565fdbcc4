#include "Staywake/Settings/SettingsMenu.h"

#include "Staywake/Panel/TextStyle.h"
#include "Staywake/Settings/AboutPopup.h"
#include "Staywake/Settings/AboutSources.h"
#include "Staywake/Settings/Popover.h"
#include "Staywake/Settings/SettingsPopup.h"
#include "Staywake/Settings/SettingsSymbol.h"
#include "StaywakeCore/Settings/FeedbackLink.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStyleOption>
#include <QUrl>

namespace staywake {

namespace {

constexpr int menuOffset = 14;

QString translated(const char* key) { return QCoreApplication::translate("Localizable", key); }

/// The menu titles, in order; the row's accessible actions carry the same names.
struct Command {
    const char* title;
    std::function<void()> SettingsMenu::Actions::*action;
};
const Command commands[] = {
    {QT_TRANSLATE_NOOP("Localizable", "Choose preset durations…"), &SettingsMenu::Actions::settings},
    {QT_TRANSLATE_NOOP("Localizable", "About Staywake"), &SettingsMenu::Actions::about},
    {QT_TRANSLATE_NOOP("Localizable", "Check for Updates…"), &SettingsMenu::Actions::checkForUpdates},
    {QT_TRANSLATE_NOOP("Localizable", "Send Feedback"), &SettingsMenu::Actions::sendFeedback},
    {QT_TRANSLATE_NOOP("Localizable", "Quit Staywake"), &SettingsMenu::Actions::quit},
};

/// The row as a screen reader meets it: a menu button named "Settings" whose
/// actions are the menu's commands, so they can be reached without the menu.
class SettingsRowAccessible final : public QAccessibleWidget {
public:
    explicit SettingsRowAccessible(SettingsMenu* row) : QAccessibleWidget(row, QAccessible::ButtonMenu) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name) {
            return QCoreApplication::translate("Localizable", "Settings");
        }
        return QAccessibleWidget::text(kind);
    }

    QStringList actionNames() const override {
        QStringList names{showMenuAction()};
        for (const Command& command : commands) {
            names << translated(command.title);
        }
        return names;
    }

    void doAction(const QString& name) override {
        auto* row = static_cast<SettingsMenu*>(widget());
        if (name == showMenuAction() || name == pressAction()) {
            row->click();
            return;
        }
        const SettingsMenu::Actions actions = row->actions();
        for (const Command& command : commands) {
            if (name == translated(command.title) && actions.*command.action) {
                (actions.*command.action)();
                return;
            }
        }
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }
};

QAccessibleInterface* settingsRowAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("staywake::SettingsMenu")) {
        return new SettingsRowAccessible(static_cast<SettingsMenu*>(object));
    }
    return nullptr;
}

} // namespace

SettingsMenu::SettingsMenu(std::shared_ptr<PresetDurationsController> presets,
                           std::function<void()> checkForUpdates, std::function<void()> quit, Context context,
                           std::function<void()> activate, QWidget* parent)
    : QAbstractButton(parent), presets_(std::move(presets)), checkForUpdates_(std::move(checkForUpdates)),
      quit_(std::move(quit)), context_(std::move(context)), activate_(std::move(activate)) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(settingsRowAccessible);
        return true;
    }();
    (void)factoryInstalled;

    setText(QCoreApplication::translate("Localizable", "Settings"));
    setAccessibleName(text());
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setLayoutDirection(context_.direction);

    const QFont base = QApplication::font();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(4);
    auto* gear = new QLabel(this);
    gear->setPixmap(symbolPixmap(SettingsSymbol::gear, scaledMetric(22, base), scaledMetric(13, base),
                                 palette().color(QPalette::WindowText)));
    layout->addWidget(gear);
    auto* title = new QLabel(text(), this);
    title->setFont(textFont(TextStyle::callout, base));
    layout->addWidget(title, 1);
    auto* chevron = new QLabel(this);
    chevron->setPixmap(symbolPixmap(SettingsSymbol::chevronDown, scaledMetric(12, base), scaledMetric(9, base),
                                    panelColor(PanelColor::secondary, palette())));
    layout->addWidget(chevron);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    connect(this, &QAbstractButton::clicked, this, [this] {
        if (activate_) {
            activate_();
        } else {
            showMenu();
        }
    });
}

SettingsMenu::~SettingsMenu() = default;

SettingsMenu::Actions SettingsMenu::actions() {
    const QPointer<SettingsMenu> row(this);
    return makeActions(
        [row](Popup popup) {
            if (row) {
                row->openPopup(popup);
            }
        },
        checkForUpdates_, [about = context_.about] { return about; }, context_.localization, quit_);
}

SettingsMenu::Actions SettingsMenu::makeActions(std::function<void(Popup)> openPopup,
                                                std::function<void()> checkForUpdates,
                                                std::function<std::optional<AboutInfo>()> about,
                                                std::optional<std::string> localization,
                                                std::function<void()> quit) {
    return Actions{
        [openPopup] { openPopup(Popup::settings); },
        [openPopup] { openPopup(Popup::about); },
        std::move(checkForUpdates),
        [about = std::move(about), localization = std::move(localization)] {
            openFeedbackForm(about(), localization);
        },
        std::move(quit),
    };
}

QMenu* SettingsMenu::makeMenu(const Actions& actions, Qt::LayoutDirection direction, QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setMinimumWidth(260);
    menu->setLayoutDirection(direction);
    for (const Command& command : commands) {
        if (command.action == &Actions::quit) {
            menu->addSeparator();
        }
        QAction* item = menu->addAction(translated(command.title));
        const auto& handler = actions.*command.action;
        // A command this build cannot carry out (no updater) is shown greyed
        // out rather than doing nothing when chosen.
        item->setEnabled(static_cast<bool>(handler));
        // The menu owns the item and the item its handler: both end with the menu.
        QObject::connect(item, &QAction::triggered, item, [handler] {
            if (handler) {
                handler();
            }
        });
        if (command.action == &Actions::quit) {
            item->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
        }
    }
    return menu;
}

QPoint SettingsMenu::menuPosition(const QRect& row, int menuWidth, Qt::LayoutDirection direction) {
    const int y = row.y() + row.height() + menuOffset;
    if (direction == Qt::RightToLeft) {
        return QPoint(row.x() + row.width() + menuOffset - menuWidth, y);
    }
    return QPoint(row.x() - menuOffset, y);
}

void SettingsMenu::openFeedbackForm(const std::optional<AboutInfo>& about,
                                    const std::optional<std::string>& localization) {
    std::optional<std::string> appVersion;
    if (about) {
        appVersion = about->formattedVersion();
    }
    const QUrl address(QString::fromStdString(FeedbackLink::url(appVersion, readOperatingSystem(), localization)),
                       QUrl::StrictMode);
    if (!QDesktopServices::openUrl(address)) {
        qWarning("Staywake: could not open the feedback page %s in a browser", qPrintable(address.toString()));
    }
}

void SettingsMenu::showMenu() {
    if (!isVisible() || menu_) {
        return;
    }
    QMenu* menu = makeMenu(actions(), context_.direction, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu_ = menu;
    const QRect row(mapToGlobal(QPoint(0, 0)), size());
    menu->popup(menuPosition(row, menu->sizeHint().width(), context_.direction));
}

void SettingsMenu::openPopup(Popup popup) {
    if (popupWindow_) {
        popupWindow_->close();
    }
    if (!isVisible() && revealAnchor_) {
        revealAnchor_();
    }
    QWidget* content = nullptr;
    if (popup == Popup::settings) {
        content = new SettingsPopup(presets_, context_.locale);
    } else {
        content = new AboutPopup(context_.about);
    }
    auto* popover = new Popover(content, this);
    popupWindow_ = popover;
    popup_ = popup;
    connect(popover, &QObject::destroyed, this, [this, popover] {
        if (popupWindow_ == nullptr || popupWindow_ == popover) {
            popup_.reset();
        }
    });
    popover->popUp();
}

std::optional<SettingsMenu::Popup> SettingsMenu::popup() const { return popupWindow_ ? popup_ : std::nullopt; }

QSize SettingsMenu::sizeHint() const { return layout()->sizeHint(); }

bool SettingsMenu::hitButton(const QPoint& position) const { return rect().contains(position); }

void SettingsMenu::paintEvent(QPaintEvent*) {
    if (!underMouse() && !isDown() && !hasFocus()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor highlight = palette().color(QPalette::Highlight);
    highlight.setAlphaF(isDown() ? 0.25F : 0.12F);
    painter.setPen(Qt::NoPen);
    painter.setBrush(highlight);
    painter.drawRoundedRect(QRectF(rect()), 5, 5);
}

} // namespace staywake
