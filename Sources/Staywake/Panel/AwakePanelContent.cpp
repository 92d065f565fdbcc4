#include "Staywake/Panel/AwakePanelContent.h"

#include "Staywake/Panel/PanelHeader.h"
#include "Staywake/Panel/PanelLink.h"
#include "Staywake/Panel/PanelNote.h"
#include "Staywake/Panel/PanelSwitch.h"
#include "Staywake/Panel/TextStyle.h"
#include "Staywake/Translations/Localized.h"
#include "StaywakeCore/Wording/AwakeExplanation.h"
#include "StaywakeCore/Wording/AwakeSessionControls.h"
#include "StaywakeCore/Wording/FailureSentence.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QVBoxLayout>

namespace staywake {

namespace {

constexpr int panelWidth = 260;
constexpr int padding = 14;
constexpr int itemSpacing = 12;
constexpr int groupSpacing = 6;
constexpr int animationMilliseconds = 150;

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    QPalette palette = line->palette();
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.15);
    palette.setColor(QPalette::WindowText, color);
    line->setPalette(palette);
    return line;
}

QWidget* group(QWidget* parent, QVBoxLayout*& layout) {
    auto* widget = new QWidget(parent);
    layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(groupSpacing);
    return widget;
}

// The prominent button: filled with the accent colour, as wide as the panel.
void makeProminent(QPushButton& button) {
    const QPalette palette = button.palette();
    const QColor accent = panelColor(PanelColor::accent, palette);
    button.setFont(textFont(TextStyle::body, QApplication::font()));
    button.setMinimumHeight(qRound(scaledMetric(30, QApplication::font())));
    button.setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: %2; border: none;"
                                        " border-radius: 6px; padding: 5px 10px; font-weight: 600; }"
                                        "QPushButton:hover { background-color: %3; }"
                                        "QPushButton:pressed { background-color: %4; }"
                                        "QPushButton:focus { border: 2px solid %5; }")
                             .arg(accent.name(), palette.color(QPalette::HighlightedText).name(),
                                  accent.lighter(110).name(), accent.darker(120).name(),
                                  accent.lighter(140).name()));
}

QPushButton* smallButton(QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setFont(textFont(TextStyle::callout, QApplication::font()));
    button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return button;
}

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

void call(const std::function<void()>& action) {
    if (action) {
        action();
    }
}

} // namespace

AwakePanelContent::AwakePanelContent(AwakePanel& panel, Controllers controllers, QWidget* settingsRow,
                                     AwakePanel::Links links, std::string locale, bool reduceMotion)
    : panel_(panel), controllers_(std::move(controllers)), links_(std::move(links)), locale_(std::move(locale)),
      reduceMotion_(reduceMotion) {
    heightAnimation_.setDuration(animationMilliseconds);
    heightAnimation_.setEasingCurve(QEasingCurve::InOutQuad);
    QObject::connect(&heightAnimation_, &QVariantAnimation::valueChanged, &panel_,
                     [this](const QVariant& value) { panel_.setFixedHeight(value.toInt()); });
    build(settingsRow);
    rebuildPresets();
    updateSession();
    updateAwakeFailure();
    updateRetryLink();
    updateNightBrew();
    updatePrecaution();
    updateLidFailure();
    updateLogin();
    observe();
    fitHeight();
}

AwakePanelContent::~AwakePanelContent() {
    heightAnimation_.stop();
    for (const auto& stop : stopObserving_) {
        stop();
    }
}

void AwakePanelContent::build(QWidget* settingsRow) {
    panel_.setFixedWidth(panelWidth);
    panel_.setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(&panel_);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(itemSpacing);
    layout->setSizeConstraint(QLayout::SetNoConstraint);

    problem_ = named(PanelNote::failure(&panel_), "problem");
    problem_->hide();
    layout->addWidget(problem_);

    header_ = named(new PanelHeader(controllers_.awake, controllers_.lid, locale_, &panel_), "header");
    layout->addWidget(header_);
    holders_ = named(new PanelNote(PanelSymbol::info, PanelColor::secondary, {}, &panel_), "holders");
    holders_->hide();
    layout->addWidget(holders_);
    buildSessionItems(*layout);
    buildNightBrewSection(*layout);

    dontRetry_ = named(
        new PanelLink(QCoreApplication::translate("Localizable", "Don't retry when Staywake opens"), &panel_),
        "dontRetry");
    QObject::connect(dontRetry_, &QAbstractButton::clicked, &panel_, [this] { controllers_.awake->turnOff(); });
    layout->addWidget(dontRetry_);

    layout->addWidget(divider(&panel_));
    buildLoginSection(*layout);
    layout->addWidget(divider(&panel_));
    if (settingsRow) {
        settingsRow->setParent(&panel_);
        layout->addWidget(settingsRow);
    }
    layout->addStretch(1);
}

void AwakePanelContent::buildSessionItems(QVBoxLayout& layout) {
    explanation_ = named(styledLabel(TextStyle::callout, PanelColor::secondary, {}, &panel_), "explanation");
    layout.addWidget(explanation_);

    awakeFailure_ = named(PanelNote::failure(&panel_), "awakeFailure");
    layout.addWidget(awakeFailure_);

    power_ = named(new QPushButton(&panel_), "power");
    makeProminent(*power_);
    QObject::connect(power_, &QPushButton::clicked, &panel_, [this] {
        // Turning awake mode off always ends Night Brew first.
        if (controllers_.awake->isOn()) {
            controllers_.lid->turnOff();
        }
        controllers_.awake->toggle();
    });
    layout.addWidget(power_);

    cancelTimer_ = named(smallButton(&panel_), "cancelTimer");
    cancelTimer_->setText(QCoreApplication::translate("Localizable", "Stay awake without a timer"));
    QObject::connect(cancelTimer_, &QPushButton::clicked, &panel_,
                     [this] { controllers_.awake->turnOn(std::nullopt); });
    layout.addWidget(cancelTimer_);

    QVBoxLayout* presetsLayout = nullptr;
    presets_ = named(group(&panel_, presetsLayout), "presets");
    presetsLayout->addWidget(styledLabel(TextStyle::footnote, PanelColor::secondary,
                                         QCoreApplication::translate("Localizable", "Stay awake for"), presets_));
    presetRow_ = new QHBoxLayout();
    presetRow_->setSpacing(groupSpacing);
    presetsLayout->addLayout(presetRow_);
    layout.addWidget(presets_);
}

void AwakePanelContent::buildNightBrewSection(QVBoxLayout& layout) {
    QVBoxLayout* section = nullptr;
    auto* sectionWidget = named(group(&panel_, section), "nightBrewSection");
    section->setSpacing(itemSpacing);
    section->addWidget(divider(sectionWidget));
    QVBoxLayout* stack = nullptr;
    section->addWidget(group(sectionWidget, stack));
    QWidget* parent = stack->parentWidget();

    nightBrew_ = named(new PanelSwitch(QCoreApplication::translate("NightBrew", "Night Brew"),
                                       CupGlyph(CupGlyph::Vessel::doubleMug, false), parent),
                       "nightBrew");
    QObject::connect(nightBrew_, &QAbstractButton::clicked, &panel_, [this](bool checked) {
        if (checked) {
            controllers_.lid->turnOnJoiningSessionOr(AwakeDuration::lidClosedDefault().seconds);
        } else {
            controllers_.lid->turnOff();
        }
        // The switch shows what the controller did, not what was clicked.
        updateNightBrew();
    });
    stack->addWidget(nightBrew_);
    stack->addWidget(
        named(new PanelNote(PanelSymbol::info, PanelColor::secondary,
                            QCoreApplication::translate("NightBrew", "Your Mac stays awake with the lid closed."),
                            parent),
              "nightBrewNote"));

    QVBoxLayout* warning = nullptr;
    heatWarning_ = named(group(parent, warning), "heatWarning");
    warning->setSpacing(2);
    warning->addWidget(styledLabel(
        TextStyle::footnote, PanelColor::secondary,
        QCoreApplication::translate("NightBrew",
                                    "With the lid shut and no display attached, heat can build up. Keep "
                                    "your Mac out of bags and other enclosed spaces while it is working."),
        heatWarning_));
    auto* understand =
        named(new PanelLink(QCoreApplication::translate("NightBrew", "I understand"), heatWarning_), "understand");
    understand->setAccessibleName(QCoreApplication::translate("NightBrew", "I understand the heat warning"));
    QObject::connect(understand, &QAbstractButton::clicked, &panel_,
                     [this] { controllers_.lid->acknowledgeHeatWarning(); });
    warning->addWidget(understand);
    stack->addWidget(heatWarning_);

    noHeatPath_ =
        named(new PanelNote(PanelSymbol::heat, PanelColor::secondary,
                            QCoreApplication::translate(
                                "NightBrew", "On battery with no display attached. Keep your Mac uncovered so "
                                             "heat can escape."),
                            parent),
              "noHeatPath");
    stack->addWidget(noHeatPath_);

    lidFailure_ = named(PanelNote::failure(parent), "lidFailure");
    stack->addWidget(lidFailure_);
    // Approving the helper is what the login-items link means below this
    // failure; its words say so in the Night Brew table.
    approveHelper_ = named(new PanelLink(QCoreApplication::translate("NightBrew", "Open Login Items…"), parent),
                           "approveHelper");
    QObject::connect(approveHelper_, &QAbstractButton::clicked, &panel_, [this] { call(links_.approveHelper); });
    stack->addWidget(approveHelper_);
    layout.addWidget(sectionWidget);
}

void AwakePanelContent::buildLoginSection(QVBoxLayout& layout) {
    QVBoxLayout* section = nullptr;
    auto* sectionWidget = named(group(&panel_, section), "loginSection");
    login_ = named(new PanelSwitch(QCoreApplication::translate("Localizable", "Open at Login"), PanelSymbol::power,
                                   sectionWidget),
                   "login");
    QObject::connect(login_, &QAbstractButton::clicked, &panel_, [this](bool checked) {
        controllers_.loginItem->setEnabled(checked);
        updateLogin();
    });
    section->addWidget(login_);
    notInApplications_ =
        named(styledLabel(TextStyle::footnote, PanelColor::secondary,
                          QCoreApplication::translate(
                              "Localizable", "Staywake isn't in Applications, so it may not open at your next "
                                             "login. Move it to Applications, then turn this back on."),
                          sectionWidget),
              "notInApplications");
    section->addWidget(notInApplications_);
    needsApproval_ =
        named(styledLabel(TextStyle::footnote, PanelColor::secondary,
                          QCoreApplication::translate("Localizable", "Approve Staywake in System Settings."),
                          sectionWidget),
              "needsApproval");
    section->addWidget(needsApproval_);
    openLoginItems_ =
        named(new PanelLink(QCoreApplication::translate("Localizable", "Open Login Items…"), sectionWidget),
              "openLoginItems");
    QObject::connect(openLoginItems_, &QAbstractButton::clicked, &panel_, [this] { call(links_.openLoginItems); });
    section->addWidget(openLoginItems_);
    loginFailure_ = named(PanelNote::failure(sectionWidget), "loginFailure");
    section->addWidget(loginFailure_);
    layout.addWidget(sectionWidget);
}

template <typename T>
void AwakePanelContent::watch(const Published<T>& value, Motion motion, std::function<void()> update) {
    const auto id = value.observe([this, motion, update = std::move(update)](const T&) {
        motion_ = motion;
        update();
        fitHeight();
        motion_ = Motion::immediate;
    });
    stopObserving_.push_back([&value, id] { value.removeObserver(id); });
}

void AwakePanelContent::observe() {
    const AwakeController& awake = *controllers_.awake;
    const LidAwakeController& lid = *controllers_.lid;
    const LoginItemController& login = *controllers_.loginItem;
    watch(awake.isOn(), Motion::animated, [this] {
        updateSession();
        updateRetryLink();
    });
    watch(awake.activeUntil(), Motion::animated, [this] { updateSession(); });
    watch(awake.lastFailure(), Motion::immediate, [this] { updateAwakeFailure(); });
    watch(awake.isRequested(), Motion::immediate, [this] { updateRetryLink(); });
    watch(controllers_.presets->pinned(), Motion::immediate, [this] {
        rebuildPresets();
        updateSessionControls();
    });
    watch(lid.isOn(), Motion::immediate, [this] {
        updateSession();
        updateNightBrew();
    });
    watch(lid.isTurningOn(), Motion::immediate, [this] { updateNightBrew(); });
    watch(lid.refusal(), Motion::immediate, [this] { updateNightBrew(); });
    watch(lid.precaution(), Motion::immediate, [this] { updatePrecaution(); });
    watch(lid.lastFailure(), Motion::immediate, [this] { updateLidFailure(); });
    watch(login.state(), Motion::immediate, [this] { updateLogin(); });
    watch(login.lastFailure(), Motion::immediate, [this] { updateLogin(); });
}

void AwakePanelContent::refresh() {
    controllers_.loginItem->refresh();
    controllers_.awake->checkExpiry();
    controllers_.lid->checkLease();
    controllers_.lid->refresh();
    // Whether the bundle lies in a stable place is asked, not published.
    updateLogin();
    header_->refreshStatus();
    fitHeight();
}

void AwakePanelContent::setHolders(const QStringList& holders) {
    holders_->setText(localized(LocalizableText::localizable(QT_TRANSLATE_NOOP("Localizable", "Kept awake for %1"),
                                                             {holders.join(QStringLiteral(", ")).toStdString()})));
    setShown(holders_, !holders.isEmpty());
}

void AwakePanelContent::showProblem(const QString& sentence) {
    problem_->setText(sentence);
    setShown(problem_, !sentence.isEmpty());
    fitHeight();
}

void AwakePanelContent::updateSession() {
    const AwakeController& awake = *controllers_.awake;
    header_->refreshStatus();
    const auto explanation =
        AwakeExplanation::describing(awake.isOn(), awake.activeUntil(), controllers_.lid->isOn());
    const QString sentence = localized(explanation.sentence());
    if (explanation_->text() != sentence) {
        explanation_->setText(sentence);
    }
    power_->setText(awake.isOn() ? QCoreApplication::translate("Localizable", "Turn Off")
                                 : QCoreApplication::translate("Localizable", "Turn On"));
    updateSessionControls();
}

void AwakePanelContent::updateAwakeFailure() {
    const auto& failure = controllers_.awake->lastFailure().get();
    if (failure) {
        awakeFailure_->setText(localized(FailureSentence::of(*failure)));
    }
    setShown(awakeFailure_, failure.has_value());
}

void AwakePanelContent::updateSessionControls() {
    const AwakeController& awake = *controllers_.awake;
    const auto controls = AwakeSessionControls::shown(awake.isOn(), awake.activeUntil());
    setShown(cancelTimer_, controls == AwakeSessionControls::cancelTimer);
    setShown(presets_, controls == AwakeSessionControls::presets && !presetButtons_.empty());
}

void AwakePanelContent::rebuildPresets() {
    for (auto* button : presetButtons_) {
        delete button;
    }
    presetButtons_.clear();
    for (const AwakeDuration duration : controllers_.presets->pinned().get()) {
        auto* button = smallButton(presets_);
        button->setText(QString::fromStdString(duration.label(locale_)));
        QObject::connect(button, &QPushButton::clicked, &panel_,
                         [this, duration] { controllers_.awake->turnOn(duration.seconds); });
        presetRow_->addWidget(button, 1);
        presetButtons_.push_back(button);
    }
}

void AwakePanelContent::updateRetryLink() {
    const AwakeController& awake = *controllers_.awake;
    setShown(dontRetry_, awake.isRequested() && !awake.isOn());
}

void AwakePanelContent::updateNightBrew() {
    const LidAwakeController& lid = *controllers_.lid;
    const QSignalBlocker quiet(nightBrew_);
    nightBrew_->setChecked(lid.isOn() || lid.isTurningOn());
    const bool refused = lid.refusal().get().has_value();
    nightBrew_->setEnabled(!refused);
    nightBrew_->setAccessibleDescription(
        refused ? QCoreApplication::translate(
                      "NightBrew",
                      "With the lid shut and no display attached, heat can build up. Keep your Mac out of "
                      "bags and other enclosed spaces while it is working.")
                : QCoreApplication::translate("NightBrew", "Your Mac stays awake with the lid closed."));
}

void AwakePanelContent::updatePrecaution() {
    const LidClosePrecaution precaution = controllers_.lid->precaution();
    setShown(heatWarning_, precaution == LidClosePrecaution::beforeFirstUse);
    setShown(noHeatPath_, precaution == LidClosePrecaution::noHeatPath);
}

void AwakePanelContent::updateLidFailure() {
    const auto& failure = controllers_.lid->lastFailure().get();
    if (failure) {
        lidFailure_->setText(localized(FailureSentence::of(*failure)));
    }
    setShown(lidFailure_, failure.has_value());
    setShown(approveHelper_, failure && failure->kind() == AwakeFailure::Kind::lidHelperRequiresApproval);
}

void AwakePanelContent::updateLogin() {
    const LoginItemController& login = *controllers_.loginItem;
    {
        const QSignalBlocker quiet(login_);
        login_->setChecked(login.isRegistered());
    }
    setShown(notInApplications_, login.isRegistered() && !login.isAtStableLocation());
    setShown(needsApproval_, login.needsApproval());
    setShown(openLoginItems_, login.needsApproval());
    const auto& failure = login.lastFailure().get();
    if (failure) {
        loginFailure_->setText(localized(FailureSentence::of(*failure)));
    }
    setShown(loginFailure_, failure.has_value());
}

void AwakePanelContent::setShown(QWidget* item, bool shown) {
    if (item->isHidden() != shown) {
        return;
    }
    item->setVisible(shown);
    if (shown && motion_ == Motion::animated && !reduceMotion_ && panel_.isVisible()) {
        auto* fade = new QGraphicsOpacityEffect(item);
        item->setGraphicsEffect(fade);
        auto* animation = new QPropertyAnimation(fade, "opacity", item);
        animation->setDuration(animationMilliseconds);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
        animation->setStartValue(0.0);
        animation->setEndValue(1.0);
        QObject::connect(animation, &QPropertyAnimation::finished, item,
                         [item] { item->setGraphicsEffect(nullptr); });
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    }
}

void AwakePanelContent::fitHeight() {
    QLayout* layout = panel_.layout();
    layout->activate();
    const int target = layout->totalHeightForWidth(panelWidth);
    const bool animate = motion_ == Motion::animated && !reduceMotion_ && panel_.isVisible();
    if (!animate) {
        if (heightAnimation_.state() == QAbstractAnimation::Running) {
            // A running animation is re-aimed, not cut short.
            heightAnimation_.setEndValue(target);
        } else {
            panel_.setFixedHeight(target);
        }
        return;
    }
    heightAnimation_.stop();
    heightAnimation_.setStartValue(panel_.height());
    heightAnimation_.setEndValue(target);
    heightAnimation_.start();
}

} // namespace staywake
