#include "StaywakeLinux/Journal/JournalLog.h"

#include <pthread.h>
#include <signal.h>
#include <sys/uio.h>
#include <syslog.h>
#include <systemd/sd-journal.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string_view>
#include <utility>

namespace staywake {
namespace {

/// Room for a burst of lines through a journal's hiccup, at most 2 MiB of them.
constexpr std::size_t mostQueuedLines = 256;
/// Above any path the helper names (PATH_MAX is 4096) with its sentence.
constexpr std::size_t longestLine = 8192;
/// What the daemon's exit waits for its last lines, well within the unit's
/// stop timeout; a reading journal takes a full queue in milliseconds.
constexpr std::chrono::seconds drainWait{1};

constexpr std::string_view cutMark = "\u2026";

/// `line`, or its first bytes up to a character's start and a mark that it was cut.
std::string bounded(const std::string& line) {
    if (line.size() <= longestLine) {
        return line;
    }
    std::size_t end = longestLine - cutMark.size();
    // UTF-8 continuation bytes are 10xxxxxx: stepping back over them lands on
    // the first byte of the character that does not fit.
    while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) {
        --end;
    }
    return line.substr(0, end).append(cutMark);
}

std::string droppedLine(std::size_t count) {
    return count == 1 ? "1 log line was dropped while the journal was not reading"
                      : std::to_string(count) + " log lines were dropped while the journal was not reading";
}

} // namespace

struct JournalLog::Queue {
    struct Line {
        std::string text;
        int priority;
        /// Dropped just before this line was queued.
        std::size_t droppedBefore;
    };

    Queue(std::string identifier, std::string subsystem, std::string category)
        : identifierField("SYSLOG_IDENTIFIER=" + identifier), subsystemField("STAYWAKE_SUBSYSTEM=" + subsystem),
          categoryField("STAYWAKE_CATEGORY=" + category) {}

    void send(const std::string& line, int priority) const noexcept {
        try {
            // Fields go as separate vectors: the line is never a format string,
            // and one with a line break in it stays one entry (the journal's
            // binary field form takes care of it).
            const std::string message = "MESSAGE=" + line;
            const std::string priorityField = "PRIORITY=" + std::to_string(priority);
            const auto field = [](const std::string& text) {
                return iovec{const_cast<char*>(text.data()), text.size()};
            };
            std::array<iovec, 5> fields = {field(message), field(priorityField), field(identifierField),
                                           field(subsystemField), field(categoryField)};
            // A journal that cannot be reached loses the line; there is nowhere
            // else a daemon's log could go that would be read.
            sd_journal_sendv(fields.data(), static_cast<int>(fields.size()));
        } catch (...) {
            // Out of memory for the entry: the line is lost like an unreachable journal's.
        }
    }

    /// The writer's whole life: sends the queued lines in order until the log
    /// is closing and nothing is left.
    void write() {
        std::unique_lock guard(lock);
        for (;;) {
            queued.wait(guard, [&] { return !lines.empty() || dropped > 0 || closing; });
            if (!lines.empty()) {
                const Line line = std::move(lines.front());
                lines.pop_front();
                guard.unlock();
                if (line.droppedBefore > 0) {
                    send(droppedLine(line.droppedBefore), LOG_NOTICE);
                }
                send(line.text, line.priority);
                guard.lock();
            } else if (dropped > 0) {
                // Dropped after the last line queued: reported once the rest is out.
                const std::size_t count = std::exchange(dropped, 0);
                guard.unlock();
                send(droppedLine(count), LOG_NOTICE);
                guard.lock();
            } else {
                break;
            }
        }
        finished = true;
        ended.notify_all();
    }

    const std::string identifierField;
    const std::string subsystemField;
    const std::string categoryField;

    std::mutex lock;
    std::condition_variable queued;
    std::condition_variable ended;
    std::deque<Line> lines;
    /// Dropped since the last line queued.
    std::size_t dropped = 0;
    bool closing = false;
    bool finished = false;
};

JournalLog::JournalLog(std::string identifier, std::string subsystem, std::string category)
    : queue_(std::make_shared<Queue>(std::move(identifier), std::move(subsystem), std::move(category))) {
    // The writer starts with every signal blocked, whatever this thread's mask
    // is now: a SIGTERM meant for the daemon's own signal thread must never be
    // delivered to it, which would end the process before the setting is restored.
    sigset_t all;
    sigfillset(&all);
    sigset_t previous;
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    try {
        // The writer holds the queue itself, so that one left waiting for the
        // journal past this object's end still has it.
        writer_ = std::thread([queue = queue_] {
            try {
                queue->write();
            } catch (...) {
                // A lock that failed or no memory for a line's count: nothing
                // is logged from here on, and the log's end waits no longer
                // than for a journal that does not read.
            }
        });
    } catch (...) {
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        throw;
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

JournalLog::~JournalLog() {
    std::unique_lock guard(queue_->lock);
    queue_->closing = true;
    queue_->queued.notify_one();
    const bool drained = queue_->ended.wait_for(guard, drainWait, [&] { return queue_->finished; });
    guard.unlock();
    if (drained) {
        writer_.join();
    } else {
        writer_.detach();
    }
}

void JournalLog::log(const std::string& line) { enqueue(line, LOG_NOTICE); }

void JournalLog::fault(const std::string& line) { enqueue(line, LOG_CRIT); }

void JournalLog::enqueue(const std::string& line, int priority) noexcept {
    {
        const std::lock_guard guard(queue_->lock);
        auto& lines = queue_->lines;
        try {
            if (lines.size() >= mostQueuedLines) {
                // A fault is kept over the oldest ordinary line; the count of
                // that line moves to the line after it.
                const auto ordinary =
                    priority == LOG_CRIT
                        ? std::ranges::find_if(
                              lines, [](const Queue::Line& queued) { return queued.priority != LOG_CRIT; })
                        : lines.end();
                if (ordinary == lines.end()) {
                    ++queue_->dropped;
                    return;
                }
                const std::size_t lost = ordinary->droppedBefore + 1;
                const auto next = lines.erase(ordinary);
                (next == lines.end() ? queue_->dropped : next->droppedBefore) += lost;
            }
            lines.push_back({bounded(line), priority, queue_->dropped});
            queue_->dropped = 0;
        } catch (...) {
            // Out of memory for the copy: the line counts as dropped.
            ++queue_->dropped;
            return;
        }
    }
    queue_->queued.notify_one();
}

} // namespace staywake
