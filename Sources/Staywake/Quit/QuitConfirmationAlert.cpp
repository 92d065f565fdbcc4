#include "Staywake/Quit/QuitConfirmationAlert.h"

#include "Staywake/Translations/Localized.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace staywake {

namespace {

QPointer<QMessageBox> alertBeingAsked;

} // namespace

std::unique_ptr<QMessageBox> QuitConfirmationAlert::make(const QuitConfirmation& confirmation,
                                                         const std::string& locale,
                                                         Qt::LayoutDirection direction) {
    const auto copy = confirmation.copy(locale);
    if (!copy) {
        return nullptr;
    }
    auto alert = std::make_unique<QMessageBox>();
    alert->setWindowTitle(QStringLiteral("Staywake"));
    alert->setIcon(QMessageBox::Information);
    alert->setText(localized(copy->title));
    QString message = localized(copy->consequence);
    if (copy->remainingLine) {
        message = localized(*copy->remainingLine) + u' ' + message;
    }
    alert->setInformativeText(message);
    QPushButton* confirm = alert->addButton(localized(copy->confirm), QMessageBox::AcceptRole);
    QPushButton* cancel = alert->addButton(localized(copy->cancel), QMessageBox::RejectRole);
    alert->setDefaultButton(confirm);
    alert->setEscapeButton(cancel);
    alert->setLayoutDirection(direction);
    // Left to itself the box wraps the consequence into a narrow column.
    if (auto* informative = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        informative->setMinimumWidth(320);
    }
    return alert;
}

bool QuitConfirmationAlert::ask(const QuitConfirmation& confirmation, const std::string& locale,
                                Qt::LayoutDirection direction) {
    const auto alert = make(confirmation, locale, direction);
    if (!alert) {
        return true;
    }
    const QAbstractButton* confirm = alert->defaultButton();
    // A tray app is rarely the active one: without this the alert could open
    // behind whatever the user is working in.
    alert->show();
    alert->raise();
    alert->activateWindow();
    alertBeingAsked = alert.get();
    alert->exec();
    alertBeingAsked = nullptr;
    return alert->clickedButton() == confirm;
}

void QuitConfirmationAlert::dismiss() {
    if (alertBeingAsked) {
        alertBeingAsked->reject();
    }
}

} // namespace staywake
