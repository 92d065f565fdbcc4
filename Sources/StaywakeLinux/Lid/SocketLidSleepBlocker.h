#pragma once

#include "StaywakeCore/Clock/MainRunLoop.h"
#include "StaywakeCore/Identity/ProgramFileInspector.h"
#include "StaywakeCore/Lid/LidHelperRegistration.h"
#include "StaywakeCore/Lid/LidSleepBlocker.h"
#include "StaywakeLinux/Socket/LidLeaseClientConnection.h"

#include <sys/types.h>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace staywake {

/// The app's client of the lid helper, over the helper's lease socket.
///
/// - Requests go out one at a time, in the order they were made; each waits
///   at most `replyTimeout` for its answer, and only the first of reply,
///   connection error and timeout counts. Outcomes reach the completions on
///   the main thread, through the main run loop.
/// - The connection is made by the first request and kept between requests.
///   It is dropped after a connection error, and after a request that went
///   unanswered on a connection made for it (a helper that never answered);
///   a helper that had answered before keeps its connection, so that a slow
///   moment does not cost the lease.
/// - The helper is trusted only when the kernel reports it running as
///   `trustedUid` (root) and the installed helper program satisfies the
///   helper requirement. Without a requirement (a build without a Team ID)
///   no connection is ever made.
/// - A helper that hung up between requests is noticed before the next one is
///   sent, which then goes out on a new connection.
/// - A lease is given back by renewing it until 0. When a request that
///   mattered went unanswered or a give-back was refused, the client
///   remembers that the setting may still be held, and the next give-back is
///   sent even without a connection.
///
/// Used on the main thread.
class SocketLidSleepBlocker final : public LidSleepBlocker {
public:
    /// Where the helper listens and who it must be.
    struct Helper {
        std::string socketPath = "/run/staywake/lidhelper.sock";
        /// The installed helper program, held to the helper requirement.
        std::string programPath;
        uid_t trustedUid = 0;
        /// Judges the program file; without one, no helper is trusted.
        std::shared_ptr<const ProgramFileInspector> inspector;
    };
    using MakeConnection = std::function<std::unique_ptr<LidLeaseClientConnection>()>;

    /// `makeConnection` defaults to a connection to `helper.socketPath`.
    SocketLidSleepBlocker(std::shared_ptr<LidHelperRegistration> registration,
                          std::optional<std::string> helperRequirement, double replyTimeout,
                          std::shared_ptr<MainRunLoop> mainRunLoop, Helper helper,
                          MakeConnection makeConnection = nullptr);
    ~SocketLidSleepBlocker() override;

    SocketLidSleepBlocker(const SocketLidSleepBlocker&) = delete;
    SocketLidSleepBlocker& operator=(const SocketLidSleepBlocker&) = delete;

    /// Answers helperUnavailable without a requirement, helperRequiresApproval
    /// while the registration waits for approval (also when a registration
    /// attempt leaves it so), and otherwise the registration's own error.
    void prepare(Prepared prepared) override;
    void renew(Date until, Completion completion) override;
    void revoke(Completion completion) override;
    bool isEngaged() const override { return isEngaged_; }

    /// It is not confirmed that the helper has put the sleep setting back.
    bool isResetUnconfirmed() const { return isResetUnconfirmed_; }
    /// A connection is kept (for tests and diagnostics).
    bool hasConnection() const { return connection_ != nullptr; }

    struct Outcome {
        enum class Kind { replied, unanswered, failed };
        Kind kind;
        /// replied only: absent = granted (or given back), a text = refused.
        std::optional<std::string> text;
        friend bool operator==(const Outcome&, const Outcome&) = default;
    };

private:
    class Reply;
    using Request = std::function<void(std::function<void()> done)>;

    void enqueue(Request request);
    void askNext();
    void send(double until, std::function<void(const Outcome&)> then);
    void applyConnectionRule(const Outcome& outcome, bool connectionWasMadeForThis);
    /// Completes with helperRequiresApproval or helperUnavailable, as the
    /// registration now reads, then runs `done`.
    void completeUnreachable(const Completion& completion, const std::function<void()>& done) const;
    /// `action` guarded by the blocker's lifetime: a completion may drop the
    /// last owner of the blocker, and what follows it must then do nothing.
    std::function<void()> whileAlive(std::function<void()> action) const;

    bool isEngaged_ = false;
    bool isResetUnconfirmed_ = false;
    std::shared_ptr<LidHelperRegistration> registration_;
    std::optional<std::string> helperRequirement_;
    double replyTimeout_;
    std::shared_ptr<MainRunLoop> mainRunLoop_;
    Helper helper_;
    MakeConnection makeConnection_;
    std::unique_ptr<LidLeaseClientConnection> connection_;
    // Set from the connection's thread when the helper ends it between
    // requests; the next request then connects again.
    std::shared_ptr<std::atomic<bool>> connectionEnded_;
    std::deque<Request> waiting_;
    bool isAsking_ = false;
    // Replies and the steps after a completion hold this weakly; it expires
    // with the blocker. It owns nothing.
    std::shared_ptr<SocketLidSleepBlocker> lifetime_;
};

} // namespace staywake
