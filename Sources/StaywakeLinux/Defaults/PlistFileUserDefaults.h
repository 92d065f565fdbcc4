#pragma once

#include "StaywakeCore/Defaults/UserDefaults.h"

#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace staywake {

/// User defaults kept in one XML property list per domain,
/// <directory>/<domain>.plist (the app's is $XDG_CONFIG_HOME/staywake/
/// com.staywake.app.plist). Values keep their types. Used from the main
/// thread only; other processes may share the file.
///
/// - Every change is written at once and atomically (a temporary file in the
///   same folder, synced, renamed over the old one, and the folder synced),
///   under an advisory lock on the folder so that two processes writing at
///   the same time do not lose each other's change.
/// - Before every read and change the file is checked (device, inode, size,
///   modification time) and read again when another process has replaced it.
/// - A file that is no property list with a dictionary at its root is never
///   overwritten: it is moved aside to <domain>.plist.corrupt-<UTC time>, the
///   domain reads as empty, and one problem says where it went.
/// - A file that cannot be opened or read (no permission, an I/O error) is
///   left where it is and never written over: changes are kept in memory and
///   saved once it can be read again or is gone.
/// - A failed write never throws: the change stays in memory for this run,
///   one problem is reported until a write succeeds again, and the next change
///   writes everything.
/// Problems wait until they are taken (takeProblem) or handed to a handler.
class PlistFileUserDefaults final : public UserDefaults {
public:
    static constexpr std::string_view standardDomain = "com.staywake.app";

    /// `domain` must be a plain file name. Reads the file, if there is one.
    explicit PlistFileUserDefaults(std::filesystem::path directory,
                                   std::string domain = std::string(standardDomain));

    /// The app's folder: staywake in the user's configuration folder
    /// (UserFolders::configHome); absent when there is none.
    static std::optional<std::filesystem::path> standardDirectory();

    std::optional<PropertyValue> object(const std::string& key) const override;
    /// Throws std::invalid_argument for a value no property list can carry
    /// (see PropertyListCoding::storableForm); dates are kept to the second.
    void set(const std::string& key, PropertyValue value) override;
    void removeObject(const std::string& key) override;

    /// The oldest problem not yet told, if any.
    std::optional<std::string> takeProblem();
    /// Hands every problem to `handler` from now on, the waiting ones first.
    void setProblemHandler(std::function<void(const std::string&)> handler);

private:
    struct FileStamp {
        dev_t device;
        ino_t inode;
        off_t size;
        std::timespec modified;
        // Moves on a change of permissions too, after which an unreadable
        // file may have become readable.
        std::timespec changed;
        static FileStamp of(const struct stat& status);
        bool operator==(const FileStamp& other) const;
    };

    void refreshIfChanged() const;
    void readFile() const;
    void moveAside(const FileStamp& stamp, const std::string& why) const;
    void change(const std::function<bool(PropertyValue::Dictionary&)>& edit);
    /// Keeps the values in memory and reports the first failure to save them.
    void keepUnsaved(const std::string& why);
    void report(std::string problem) const;

    std::filesystem::path directory_;
    std::filesystem::path file_;
    std::string domain_;
    // What the file held at its last read or write, with its stamp (absent:
    // there was no file). Refreshed from const readers, hence mutable.
    mutable PropertyValue::Dictionary values_;
    mutable std::optional<FileStamp> stamp_;
    // A stamp that could not be read or moved aside: told once, not again.
    mutable std::optional<FileStamp> unreadableStamp_;
    mutable bool statFailing_ = false;
    bool unsaved_ = false;
    mutable std::deque<std::string> problems_;
    std::function<void(const std::string&)> problemHandler_;
};

} // namespace staywake
