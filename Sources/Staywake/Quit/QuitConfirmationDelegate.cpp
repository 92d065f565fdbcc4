#include "Staywake/Quit/QuitConfirmationDelegate.h"

#include "Staywake/Quit/QuitConfirmationAlert.h"
#include "Staywake/System/QtMainRunLoop.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"

#include <QCoreApplication>

namespace staywake {

QuitConfirmationDelegate::QuitConfirmationDelegate(std::function<std::string()> locale,
                                                   Qt::LayoutDirection direction)
    : lifetime_(this, [](QuitConfirmationDelegate*) {}) {
    ask = [locale = std::move(locale), direction](const QuitConfirmation& confirmation) {
        return QuitConfirmationAlert::ask(confirmation, locale(), direction);
    };
    isSystemQuit = [this] { return handling_ == QuitOrigin::system; };
    reply = [](bool mayEnd) {
        if (mayEnd) {
            QCoreApplication::exit(0);
        }
    };
    after = [](double delaySeconds, Action action) {
        QtMainRunLoop(*QCoreApplication::instance()).perform(delaySeconds, std::move(action));
    };
}

QuitConfirmationDelegate::~QuitConfirmationDelegate() = default;

TerminateReply QuitConfirmationDelegate::applicationShouldTerminate() {
    if (isSystemQuit() || isRelaunchingForUpdate) {
        if (isWaitingForHelper_) {
            isWaitingForHelper_ = false;
            return TerminateReply::now;
        }
        if (lid) {
            lid->turnOff();
        }
        return quitOnceTheHelperHasAnswered();
    }
    if (isAsking_ || isWaitingForHelper_) {
        return TerminateReply::cancel;
    }
    // A session that ended a moment ago is not worth a question.
    if (awake) {
        awake->checkExpiry();
    }
    if (lid) {
        lid->checkLease();
    }
    if (!awake) {
        return quitOnceTheHelperHasAnswered();
    }
    const auto confirmation = QuitConfirmation::asked(awake->isOn(), lid && lid->isOn().get(), awake->remaining());
    if (!confirmation.asksFirst()) {
        return quitOnceTheHelperHasAnswered();
    }
    isAsking_ = true;
    const bool goesAhead = ask(confirmation);
    isAsking_ = false;
    if (!goesAhead) {
        return TerminateReply::cancel;
    }
    if (lid) {
        lid->turnOff();
    }
    return quitOnceTheHelperHasAnswered();
}

TerminateReply QuitConfirmationDelegate::quitOnceTheHelperHasAnswered() {
    if (!lid || lid->isSettled().get()) {
        return TerminateReply::now;
    }
    isWaitingForHelper_ = true;
    const std::weak_ptr<QuitConfirmationDelegate> weak = lifetime_;
    const auto finish = [weak] {
        const auto delegate = weak.lock();
        if (delegate && delegate->isWaitingForHelper_) {
            delegate->isWaitingForHelper_ = false;
            delegate->reply(true);
        }
    };
    lid->whenSettled(finish);
    after(LidHelperService::exitTimeout, finish);
    return TerminateReply::later;
}

void QuitConfirmationDelegate::requestQuit(QuitOrigin origin) {
    handling_ = origin;
    if (origin == QuitOrigin::system && isAsking_) {
        QuitConfirmationAlert::dismiss();
    }
    const TerminateReply answer = applicationShouldTerminate();
    handling_ = QuitOrigin::user;
    if (answer == TerminateReply::now) {
        reply(true);
    }
}

} // namespace staywake
