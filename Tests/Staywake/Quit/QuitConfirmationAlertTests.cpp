#include "Staywake/Quit/QuitConfirmationAlert.h"
#include "Staywake/Translations/AppTranslations.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace staywake {
namespace {

using Kind = QuitConfirmation::Kind;

TEST(QuitConfirmationAlert, SaysWhatIsLeftAndWhatQuittingChangesInTheAppLanguageAndDirection) {
    AppTranslations translations(QStringLiteral(STAYWAKE_TRANSLATIONS_DIR));
    ASSERT_GT(translations.install(QStringLiteral("en")), 0);
    const auto alert = QuitConfirmationAlert::make({Kind::awakeMode, 1800}, "en_US", Qt::LeftToRight);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), "Quit and stop awake mode?");
    EXPECT_TRUE(alert->informativeText().startsWith("30 min left in this session. "));
    ASSERT_EQ(alert->buttons().size(), 2);
    EXPECT_EQ(alert->buttons().at(0), alert->defaultButton()) << "the confirm button comes first";
    EXPECT_EQ(alert->escapeButton()->text(), "Cancel");
    // Night Brew's alert in Arabic: its own words, mirrored, with the locale's digits.
    ASSERT_GT(translations.install(QStringLiteral("ar")), 0);
    const auto arabic = QuitConfirmationAlert::make({Kind::nightBrew, 7200}, "ar_EG", Qt::RightToLeft);
    ASSERT_TRUE(arabic);
    EXPECT_EQ(arabic->layoutDirection(), Qt::RightToLeft);
    EXPECT_TRUE(arabic->defaultButton()->text().contains("Night Brew"));
    EXPECT_TRUE(arabic->informativeText().contains(QChar(0x0662))) << "2 hours in Arabic digits";
}

/// Runs `whileUp` on the alert once ask() has put it up, and returns ask()'s answer.
bool askAnd(const std::function<void(QWidget&)>& whileUp) {
    QTimer::singleShot(0, [whileUp] {
        QWidget* alert = QApplication::activeModalWidget();
        ASSERT_NE(alert, nullptr);
        whileUp(*alert);
    });
    return QuitConfirmationAlert::ask({Kind::awakeMode, std::nullopt}, "en_US", Qt::LeftToRight);
}

TEST(QuitConfirmationAlert, AnswersTrueOnlyForTheConfirmButton) {
    const auto press = [](int key) {
        return [key](QWidget& alert) {
            QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(&alert, &event);
        };
    };
    EXPECT_TRUE(askAnd(press(Qt::Key_Return))) << "the confirm button is the default";
    EXPECT_FALSE(askAnd(press(Qt::Key_Escape)));
    EXPECT_FALSE(askAnd([](QWidget&) { QuitConfirmationAlert::dismiss(); }));
    EXPECT_TRUE(QuitConfirmationAlert::ask(QuitConfirmation{}, "en_US", Qt::LeftToRight)) << "nothing to ask";
}

} // namespace
} // namespace staywake
