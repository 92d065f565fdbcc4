#pragma once

#include "StaywakeLinux/Socket/UniqueFd.h"

#include <sys/types.h>

#include <optional>

namespace staywake {

/// /run/staywake, where pmset records the process id of its lock holder in
/// pmset-holder.pid. The directory must belong to root (or to the user running
/// the tool) and be writable by nobody else, so that nobody else can name a
/// process for pmset to end or to count as its holder.
///
/// The record is replaced whole (a new file renamed over it), so a reader sees
/// the old process id or the new one, never a mix.
class HolderDirectory {
public:
    static constexpr const char* path = "/run/staywake";
    static constexpr const char* recordName = "pmset-holder.pid";

    /// For a change of the setting: made (mode 0755) when missing, checked,
    /// and locked against other pmset runs for as long as the object lives, so
    /// two writes never both start a holder. Throws PmsetToolError or
    /// SystemError, also when another pmset holds the lock.
    static HolderDirectory forChange();
    /// For reading: nothing when there is no such directory; checked as above,
    /// not locked.
    static std::optional<HolderDirectory> forReading();

    /// The recorded process id; nothing when there is no record or it is not
    /// a single process id.
    std::optional<pid_t> recordedPid() const;
    /// Records `pid`, replacing any record.
    void record(pid_t pid) const;
    /// Removes the record, if any.
    void forget() const;
    /// Who owns the directory, and so whose processes its record may name.
    uid_t owner() const { return owner_; }

private:
    HolderDirectory(UniqueFd descriptor, uid_t owner) : descriptor_(std::move(descriptor)), owner_(owner) {}

    static HolderDirectory openChecked();

    UniqueFd descriptor_;
    uid_t owner_;
};

} // namespace staywake
