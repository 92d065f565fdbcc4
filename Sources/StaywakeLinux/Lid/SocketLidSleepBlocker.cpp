#include "StaywakeLinux/Lid/SocketLidSleepBlocker.h"

#include <mutex>
#include <utility>

namespace staywake {

/// One request's answer: the first of the helper's reply, the connection's
/// error and the timeout is handed to the main thread; the others do nothing.
/// Callable from any thread. It holds the main run loop weakly: the loop keeps
/// the pending timeout, which keeps the reply.
class SocketLidSleepBlocker::Reply : public std::enable_shared_from_this<Reply> {
public:
    using Deliver = std::function<void(const Outcome&)>;

    Reply(const std::shared_ptr<MainRunLoop>& mainRunLoop, Deliver deliver)
        : mainRunLoop_(mainRunLoop), deliver_(std::move(deliver)) {}

    void finish(Outcome outcome) {
        Deliver deliver;
        {
            const std::lock_guard guard(lock_);
            deliver = std::exchange(deliver_, nullptr);
        }
        const auto mainRunLoop = mainRunLoop_.lock();
        if (deliver && mainRunLoop) {
            mainRunLoop->perform(
                [deliver = std::move(deliver), outcome = std::move(outcome)] { deliver(outcome); });
        }
    }

    /// Finishes as unanswered after `seconds`, unless something came first.
    void expire(double seconds) {
        const auto mainRunLoop = mainRunLoop_.lock();
        if (!mainRunLoop) {
            return;
        }
        mainRunLoop->perform(seconds, [reply = shared_from_this()] {
            reply->finish({Outcome::Kind::unanswered, std::nullopt});
        });
    }

private:
    std::weak_ptr<MainRunLoop> mainRunLoop_;
    std::mutex lock_;
    Deliver deliver_;
};

SocketLidSleepBlocker::SocketLidSleepBlocker(std::shared_ptr<LidHelperRegistration> registration,
                                             std::optional<std::string> helperRequirement, double replyTimeout,
                                             std::shared_ptr<MainRunLoop> mainRunLoop, Helper helper,
                                             MakeConnection makeConnection)
    : registration_(std::move(registration)), helperRequirement_(std::move(helperRequirement)),
      replyTimeout_(replyTimeout), mainRunLoop_(std::move(mainRunLoop)), helper_(std::move(helper)),
      makeConnection_(std::move(makeConnection)), lifetime_(this, [](SocketLidSleepBlocker*) {}) {
    if (!makeConnection_) {
        makeConnection_ = [path = helper_.socketPath] { return std::make_unique<LidLeaseClientConnection>(path); };
    }
}

// Dropping the connection ends it, and the helper gives its lease back.
SocketLidSleepBlocker::~SocketLidSleepBlocker() = default;

void SocketLidSleepBlocker::prepare(Prepared prepared) {
    if (!helperRequirement_) {
        prepared(std::make_exception_ptr(LidSleepBlockerError::helperUnavailable()));
        return;
    }
    const auto approval = [] { return std::make_exception_ptr(LidSleepBlockerError::helperRequiresApproval()); };
    // Only the registration is held: the answer may come after the blocker is gone.
    registration_->readStatus(
        [registration = registration_, prepared = std::move(prepared), approval](LidHelperStatus status) {
            switch (status) {
            case LidHelperStatus::enabled:
                prepared(nullptr);
                return;
            case LidHelperStatus::requiresApproval:
                prepared(approval());
                return;
            case LidHelperStatus::notRegistered:
            case LidHelperStatus::notFound:
                break;
            }
            registration->registerHelper([registration, prepared, approval](std::exception_ptr error) {
                // Waiting for approval says more than the error of getting there.
                registration->readStatus([prepared, approval, error](LidHelperStatus after) {
                    prepared(after == LidHelperStatus::requiresApproval ? approval() : error);
                });
            });
        });
}

void SocketLidSleepBlocker::renew(Date until, Completion completion) {
    enqueue([this, until, completion = std::move(completion)](std::function<void()> done) {
        const bool wasAnswering = connection_ != nullptr;
        done = whileAlive(std::move(done));
        send(until.secondsSince1970, [this, wasAnswering, completion, done](const Outcome& outcome) {
            if (outcome.kind == Outcome::Kind::replied && !outcome.text) {
                isEngaged_ = true;
                isResetUnconfirmed_ = false;
                completion(std::nullopt);
            } else if (outcome.kind == Outcome::Kind::replied) {
                isEngaged_ = false;
                completion(LidSleepBlockerError::helperRefused(*outcome.text));
            } else {
                isEngaged_ = false;
                // A helper that had been answering may still hold the setting.
                if (outcome.kind == Outcome::Kind::unanswered && wasAnswering) {
                    isResetUnconfirmed_ = true;
                }
                completeUnreachable(completion, done);
                return;
            }
            done();
        });
    });
}

void SocketLidSleepBlocker::revoke(Completion completion) {
    enqueue([this, completion = std::move(completion)](std::function<void()> done) {
        done = whileAlive(std::move(done));
        isEngaged_ = false;
        if (!connection_ && !isResetUnconfirmed_) {
            // Never connected, or the connection was dropped (which gave the
            // lease back), and nothing is in doubt: nothing to send.
            completion(std::nullopt);
            done();
            return;
        }
        // A deadline long past ends the lease.
        send(0, [this, completion, done](const Outcome& outcome) {
            std::optional<LidSleepBlockerError> error;
            switch (outcome.kind) {
            case Outcome::Kind::replied:
                isResetUnconfirmed_ = outcome.text.has_value();
                if (outcome.text) {
                    error = LidSleepBlockerError::helperRefused(*outcome.text);
                }
                break;
            case Outcome::Kind::unanswered:
                isResetUnconfirmed_ = true;
                error = LidSleepBlockerError::helperUnavailable();
                break;
            case Outcome::Kind::failed:
                // The helper could not be reached: a failure only when it was
                // already in doubt whether the setting was put back.
                if (isResetUnconfirmed_) {
                    error = LidSleepBlockerError::helperUnavailable();
                }
                break;
            }
            completion(error);
            done();
        });
    });
}

void SocketLidSleepBlocker::enqueue(Request request) {
    waiting_.push_back(std::move(request));
    askNext();
}

void SocketLidSleepBlocker::askNext() {
    if (isAsking_ || waiting_.empty()) {
        return;
    }
    isAsking_ = true;
    Request request = std::move(waiting_.front());
    waiting_.pop_front();
    request([this] {
        isAsking_ = false;
        askNext();
    });
}

void SocketLidSleepBlocker::send(double until, std::function<void(const Outcome&)> then) {
    const std::weak_ptr<SocketLidSleepBlocker> weak = lifetime_;
    const bool connectionExisted = connection_ != nullptr;
    auto reply = std::make_shared<Reply>(
        mainRunLoop_, [weak, connectionExisted, then = std::move(then)](const Outcome& outcome) {
            // No strong reference is held across the continuation: its
            // completion may destroy the blocker, and the token must then
            // expire at once so that nothing after it touches the blocker.
            if (SocketLidSleepBlocker* const blocker = weak.lock().get()) {
                blocker->applyConnectionRule(outcome, !connectionExisted);
                then(outcome);
            }
        });

    if (!helperRequirement_) {
        // Never a connection without a requirement to hold the helper to.
        reply->finish({Outcome::Kind::failed, std::nullopt});
        return;
    }

    if (connection_ && (connectionEnded_->load() || connection_->hasEnded())) {
        // The helper ended the connection between requests (it stopped, was
        // restarted, or closed it), maybe so recently that only the socket
        // knows yet: reach it again on a new one. Its lease died with the old
        // connection; the request still counts as on a known connection.
        connection_.reset();
    }
    if (!connection_) {
        connection_ = makeConnection_();
        connectionEnded_ = std::make_shared<std::atomic<bool>>(false);
        connection_->setInvalidationHandler([ended = connectionEnded_] { ended->store(true); });
        connection_->setPeerRequirement(
            [requirement = *helperRequirement_, helper = helper_](const PeerCredentials& peer) {
                // The kernel's word on who runs the peer, and the installed
                // program held to the requirement: a root process reached at the
                // helper's socket runs the helper only if that file is trusted.
                return peer.uid == helper.trustedUid && helper.inspector &&
                       helper.inspector->codeDirectoryHash(helper.programPath, requirement).has_value();
            });
        connection_->resume();
    }

    connection_->renewLease(
        until,
        [reply](std::optional<std::string> text) {
            reply->finish({Outcome::Kind::replied, std::move(text)});
        },
        [reply](const std::string&) {
            reply->finish({Outcome::Kind::failed, std::nullopt});
        });
    reply->expire(replyTimeout_);
}

void SocketLidSleepBlocker::applyConnectionRule(const Outcome& outcome, bool connectionWasMadeForThis) {
    // A connection that failed is useless, and one that never answered
    // probably leads to a helper that is not there; a helper that answered
    // before keeps its connection (and with it its lease) through a slow moment.
    const bool drop = outcome.kind == Outcome::Kind::failed ||
                      (outcome.kind == Outcome::Kind::unanswered && connectionWasMadeForThis);
    if (drop && connection_) {
        connection_->invalidate();
        connection_.reset();
    }
}

void SocketLidSleepBlocker::completeUnreachable(const Completion& completion,
                                                const std::function<void()>& done) const {
    registration_->readStatus([completion, done](LidHelperStatus status) {
        completion(status == LidHelperStatus::requiresApproval ? LidSleepBlockerError::helperRequiresApproval()
                                                               : LidSleepBlockerError::helperUnavailable());
        done();
    });
}

std::function<void()> SocketLidSleepBlocker::whileAlive(std::function<void()> action) const {
    return [weak = std::weak_ptr<SocketLidSleepBlocker>(lifetime_), action = std::move(action)] {
        if (!weak.expired()) {
            action();
        }
    };
}

} // namespace staywake
