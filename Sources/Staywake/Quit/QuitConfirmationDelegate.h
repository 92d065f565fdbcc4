#pragma once

#include "StaywakeCore/Awake/AwakeController.h"
#include "StaywakeCore/Lid/LidAwakeController.h"
#include "StaywakeCore/Quit/QuitConfirmation.h"

#include <Qt>
#include <functional>
#include <memory>
#include <string>

namespace staywake {

/// How the application goes on after a quit request.
enum class TerminateReply {
    /// End the process now.
    now,
    /// Keep running until `reply(true)` comes.
    later,
    /// Keep running; the quit is dropped.
    cancel,
};

/// Who asked for a quit: the user (the menu's Quit, closing the window without
/// a tray) or the system (a termination signal, the session manager).
enum class QuitOrigin { user, system };

/// Decides whether and when the application ends. A user's quit during a
/// session is confirmed first; a system quit and the relaunch for an update
/// are never questioned. Every quit turns Night Brew off, and the process
/// ends only once the lid helper has answered every request (so the system
/// sleep setting is not left changed behind the app's back), or 5 s later
/// when the helper does not answer. The awake session's stored intent is left
/// alone: the next launch takes the session up again.
///
/// Confined to the GUI thread. The finishing action it hands to the lid
/// controller and to `after` holds it weakly.
class QuitConfirmationDelegate final {
public:
    using Action = std::function<void()>;

    /// With the running application's mechanisms: the alert worded in the ICU
    /// locale `locale` gives and laid out in `direction`, the origin of the quit
    /// being handled, the end of the event loop with status 0, and the event
    /// loop's timers.
    QuitConfirmationDelegate(std::function<std::string()> locale, Qt::LayoutDirection direction);
    ~QuitConfirmationDelegate();

    QuitConfirmationDelegate(const QuitConfirmationDelegate&) = delete;
    QuitConfirmationDelegate& operator=(const QuitConfirmationDelegate&) = delete;

    /// Asks the user; true = go ahead and quit.
    std::function<bool(const QuitConfirmation&)> ask;
    /// Whether the quit being handled was sent by the system.
    std::function<bool()> isSystemQuit;
    /// Set by the updater just before it quits to install an update.
    bool isRelaunchingForUpdate = false;
    /// Tells the application whether a quit answered `later` may end it now.
    std::function<void(bool)> reply;
    /// Runs an action on the GUI thread after a delay in seconds.
    std::function<void(double, Action)> after;
    std::shared_ptr<AwakeController> awake;
    std::shared_ptr<LidAwakeController> lid;

    /// The confirmation alert is up.
    bool isAsking() const { return isAsking_; }
    /// A quit waits for the lid helper's last answer.
    bool isWaitingForHelper() const { return isWaitingForHelper_; }

    /// The decision for one quit request.
    TerminateReply applicationShouldTerminate();

    /// The application's side of a quit: records where it came from, decides,
    /// and ends the process through `reply(true)` when the answer is now. A
    /// system quit while the alert is up closes the alert unanswered.
    void requestQuit(QuitOrigin origin);

private:
    TerminateReply quitOnceTheHelperHasAnswered();

    bool isAsking_ = false;
    bool isWaitingForHelper_ = false;
    QuitOrigin handling_ = QuitOrigin::user;
    // The finishing action holds this weakly; it expires with the delegate and
    // owns nothing (its deleter does nothing).
    std::shared_ptr<QuitConfirmationDelegate> lifetime_;
};

} // namespace staywake
