#include "StaywakeLinux/Defaults/PlistFileUserDefaults.h"

#include "StaywakeLinux/AtomicFile.h"
#include "StaywakeLinux/Defaults/PropertyListCoding.h"
#include "StaywakeLinux/Defaults/UserFolders.h"
#include "StaywakeLinux/Socket/UniqueFd.h"
#include "StaywakeLinux/SystemError.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace staywake {

namespace {

// A settings file this large is no settings file; reading it whole would only
// cost memory. It is treated like any other unreadable file.
constexpr off_t largestFile = PropertyListCoding::largestDocument;

std::string utcStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    return text;
}

std::optional<std::string> readAll(int fd) {
    std::string bytes;
    char buffer[16384];
    while (true) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (count == 0) {
            return bytes;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
        if (bytes.size() > static_cast<std::size_t>(largestFile)) {
            return bytes;
        }
    }
}

// Renames without ever replacing an existing file.
int renameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // The file system cannot rename without replacing: a hard link cannot
    // replace either.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return errno;
    }
    ::unlink(from.c_str());
    return 0;
}

bool operator==(const std::timespec& a, const std::timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

PlistFileUserDefaults::FileStamp PlistFileUserDefaults::FileStamp::of(const struct stat& status) {
    return {status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
}

bool PlistFileUserDefaults::FileStamp::operator==(const FileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size && modified == other.modified &&
           changed == other.changed;
}

PlistFileUserDefaults::PlistFileUserDefaults(std::filesystem::path directory, std::string domain)
    : directory_(std::move(directory)), domain_(std::move(domain)) {
    if (domain_.empty() || domain_ == "." || domain_ == ".." || domain_.find('/') != std::string::npos ||
        domain_.find('\0') != std::string::npos) {
        throw std::invalid_argument("a user-defaults domain must be a plain file name, not \"" + domain_ + "\"");
    }
    file_ = directory_ / (domain_ + ".plist");
    refreshIfChanged();
}

std::optional<std::filesystem::path> PlistFileUserDefaults::standardDirectory() {
    const auto configHome = UserFolders::configHome();
    return configHome ? std::optional(*configHome / "staywake") : std::nullopt;
}

std::optional<PropertyValue> PlistFileUserDefaults::object(const std::string& key) const {
    refreshIfChanged();
    const auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void PlistFileUserDefaults::set(const std::string& key, PropertyValue value) {
    PropertyValue stored = PropertyListCoding::storableForm(key, value);
    change([&](PropertyValue::Dictionary& values) {
        const auto found = values.find(key);
        if (found != values.end() && found->second == stored) {
            return false;
        }
        values.insert_or_assign(key, std::move(stored));
        return true;
    });
}

void PlistFileUserDefaults::removeObject(const std::string& key) {
    change([&](PropertyValue::Dictionary& values) { return values.erase(key) > 0; });
}

std::optional<std::string> PlistFileUserDefaults::takeProblem() {
    if (problems_.empty()) {
        return std::nullopt;
    }
    std::string problem = std::move(problems_.front());
    problems_.pop_front();
    return problem;
}

void PlistFileUserDefaults::setProblemHandler(std::function<void(const std::string&)> handler) {
    problemHandler_ = std::move(handler);
    while (problemHandler_ && !problems_.empty()) {
        problemHandler_(*takeProblem());
    }
}

void PlistFileUserDefaults::report(std::string problem) const {
    if (problemHandler_) {
        problemHandler_(problem);
    } else {
        problems_.push_back(std::move(problem));
    }
}

void PlistFileUserDefaults::refreshIfChanged() const {
    struct stat status {};
    if (::stat(file_.c_str(), &status) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            // No file (or not yet a folder): nothing is set. A file another
            // process removed takes its values with it.
            statFailing_ = false;
            unreadableStamp_.reset();
            if (stamp_) {
                values_.clear();
                stamp_.reset();
            }
            return;
        }
        if (!statFailing_) {
            statFailing_ = true;
            report("The settings in " + file_.string() +
                   " could not be read: " + SystemError("could not look at", file_.string(), error).what() + ".");
        }
        return;
    }
    statFailing_ = false;
    const FileStamp current = FileStamp::of(status);
    if ((stamp_ && *stamp_ == current) || (unreadableStamp_ && *unreadableStamp_ == current)) {
        return;
    }
    readFile();
}

void PlistFileUserDefaults::readFile() const {
    // Non-blocking, so that a FIFO put in the file's place cannot hang the app.
    UniqueFd fd(::open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        const int error = errno;
        values_.clear();
        stamp_.reset();
        if (error != ENOENT) {
            struct stat status {};
            if (::stat(file_.c_str(), &status) == 0) {
                unreadableStamp_ = FileStamp::of(status);
            }
            report("The settings in " + file_.string() +
                   " could not be read: " + SystemError("could not open", file_.string(), error).what() + ".");
        }
        return;
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        return;
    }
    const FileStamp stamp = FileStamp::of(status);
    if (!S_ISREG(status.st_mode)) {
        moveAside(stamp, "it is not a regular file");
        return;
    }
    const auto bytes = readAll(fd.get());
    if (!bytes) {
        const int error = errno;
        values_.clear();
        stamp_.reset();
        unreadableStamp_ = stamp;
        report("The settings in " + file_.string() +
               " could not be read: " + SystemError("could not read", file_.string(), error).what() + ".");
        return;
    }
    if (bytes->size() > static_cast<std::size_t>(largestFile)) {
        moveAside(stamp, "it is larger than any settings file");
        return;
    }
    auto decoded = PropertyListCoding::decodeDictionary(*bytes);
    if (!decoded) {
        moveAside(stamp, bytes->empty() ? "it is empty" : "it is not a property list holding a dictionary");
        return;
    }
    values_ = std::move(*decoded);
    stamp_ = stamp;
    unreadableStamp_.reset();
}

void PlistFileUserDefaults::moveAside(const FileStamp& stamp, const std::string& why) const {
    values_.clear();
    stamp_.reset();
    // Move only the file that was read: if another process has replaced it
    // meanwhile, the next read looks at the new one.
    struct stat status {};
    if (::stat(file_.c_str(), &status) != 0 || status.st_dev != stamp.device || status.st_ino != stamp.inode) {
        return;
    }
    const std::string base = file_.string() + ".corrupt-" + utcStamp();
    std::string target = base;
    int error = 0;
    for (int attempt = 2;; ++attempt) {
        error = renameWithoutReplacing(file_.string(), target);
        if (error != EEXIST || attempt > 100) {
            break;
        }
        target = base + "-" + std::to_string(attempt);
    }
    if (error == 0) {
        unreadableStamp_.reset();
        report("The settings file " + file_.string() + " could not be read (" + why + "). It was moved to " +
               target + ", and the settings start empty.");
        return;
    }
    unreadableStamp_ = stamp;
    report("The settings file " + file_.string() + " could not be read (" + why +
           ") and could not be moved aside (" + SystemError("could not rename", file_.string(), error).what() +
           "). The settings start empty.");
}

void PlistFileUserDefaults::change(const std::function<bool(PropertyValue::Dictionary&)>& edit) {
    std::error_code ignored;
    std::filesystem::create_directories(directory_.parent_path(), ignored);
    // Private to the user; a failure shows up as a failed write below.
    static_cast<void>(::mkdir(directory_.c_str(), 0700));
    UniqueFd directory(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) {
        // Serialises read-change-write with other processes sharing the file.
        while (::flock(directory.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    refreshIfChanged();
    const bool changed = edit(values_);
    if (!changed && !unsaved_) {
        return;
    }
    if (unreadableStamp_ || statFailing_) {
        // The settings in a file that could not be read are still the user's:
        // the file is never written over. Once it can be read (its owner
        // fixed its permissions) or is gone, the next change is saved.
        keepUnsaved("the file there could not be read, and it is left as it is");
        return;
    }
    if (directory.get() >= 0) {
        // Every writer holds the lock while its temporary file exists, so any
        // found now belongs to a writer that was killed.
        AtomicFile::removeLeftovers(file_);
    }
    try {
        stamp_ = FileStamp::of(AtomicFile::replace(file_, PropertyListCoding::encodeXml(values_), 0600));
        unsaved_ = false;
    } catch (const SystemError& error) {
        keepUnsaved(error.what());
    }
}

void PlistFileUserDefaults::keepUnsaved(const std::string& why) {
    if (!unsaved_) {
        report("The settings could not be saved to " + file_.string() + ": " + why +
               ". Changes are kept until the app quits and saved with the next change.");
    }
    unsaved_ = true;
}

} // namespace staywake
