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

TEST(QuitConfirmationAlert, SaysWhatIsLeftAndWhatQuittingChangesInTheAppLanguage) {
    AppTranslations translations(QStringLiteral(STAYWAKE_TRANSLATIONS_DIR));
    struct Case {
        const char* language;
        const char* locale;
        QuitConfirmation confirmation;
        Qt::LayoutDirection direction;
        QString title;
        QString message;
        QString confirm;
        QString cancel;
    };
    const Case cases[] = {
        {"en",
         "en_US",
         {Kind::awakeMode, 1800},
         Qt::LeftToRight,
         "Quit and stop awake mode?",
         "30 min left in this session. Your computer can fall asleep on its own again. Awake mode turns back "
         "on the "
         "next time you open Staywake.",
         "Quit",
         "Cancel"},
        {"ar",
         "ar_EG",
         {Kind::nightBrew, 7200},
         Qt::RightToLeft,
         "هل تريد الإنهاء وإيقاف Night Brew؟",
         "تبقى \u0662 س في هذه الجلسة. يمكن لحاسوبك أن يدخل في وضع السكون مجددًا والغطاء مفتوح أو مغلق. سيعود "
         "وضع اليقظة للعمل في المرة القادمة "
         "التي تفتح فيها Staywake. سيبقى Night Brew متوقفًا.",
         "الإنهاء وإيقاف Night Brew",
         "إلغاء"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        ASSERT_GT(translations.install(QString::fromLatin1(c.language)), 0);
        const auto alert = QuitConfirmationAlert::make(c.confirmation, c.locale, c.direction);
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->icon(), QMessageBox::Information);
        EXPECT_EQ(alert->text(), c.title);
        EXPECT_EQ(alert->informativeText(), c.message);
        ASSERT_EQ(alert->buttons().size(), 2);
        EXPECT_EQ(alert->buttons().at(0), alert->defaultButton()) << "the confirm button comes first";
        EXPECT_EQ(alert->defaultButton()->text(), c.confirm);
        EXPECT_EQ(alert->escapeButton()->text(), c.cancel);
        EXPECT_EQ(alert->layoutDirection(), c.direction);
    }
    EXPECT_EQ(QuitConfirmationAlert::make(QuitConfirmation{}, "en_US", Qt::LeftToRight), nullptr);
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
