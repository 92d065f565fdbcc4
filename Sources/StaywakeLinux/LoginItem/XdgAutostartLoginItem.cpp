#include "StaywakeLinux/LoginItem/XdgAutostartLoginItem.h"

#include "StaywakeCore/Support/RepairedUtf8.h"
#include "StaywakeLinux/AtomicFile.h"
#include "StaywakeLinux/Defaults/UserFolders.h"
#include "StaywakeLinux/SystemError.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace staywake {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view entryFileName = "com.staywake.app.desktop";
constexpr std::string_view entryDescription = "the autostart entry";

// A desktop entry is UTF-8 text; a value of type string holds no control
// characters. An install path that breaks either cannot be named at all.
bool isNameableInDesktopEntry(std::string_view text) {
    return isWellFormedUtf8(text) && std::none_of(text.begin(), text.end(), [](char c) {
               const auto byte = static_cast<unsigned char>(c);
               return byte < 0x20 || byte == 0x7f;
           });
}

// The Exec key is read in three layers, outermost first: the string escapes of
// the file format (\\), then the quoting of arguments (\" \` \$ \\ inside double
// quotes), then field codes (%%). Written in the opposite order here.
std::string execValue(const std::string& program) {
    std::string quoted = "\"";
    for (const char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (const char c : quoted) {
        if (c == '%') {
            value += "%%";
        } else if (c == '\\') {
            value += "\\\\";
        } else {
            value += c;
        }
    }
    return value;
}

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\r";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

constexpr std::string_view mainGroup = "[Desktop Entry]";

// The key of a "key=value" line, or nothing for blank lines, comments and
// group headers.
std::optional<std::string_view> keyOf(std::string_view line) {
    const auto text = trimmed(line);
    const auto equals = text.find('=');
    if (text.empty() || text.front() == '#' || text.front() == '[' || equals == std::string_view::npos) {
        return std::nullopt;
    }
    return trimmed(text.substr(0, equals));
}

// A boolean as session managers read it with GLib, which also takes 1 and 0;
// nothing for anything else.
std::optional<bool> booleanValue(std::string_view line) {
    const auto value = trimmed(line.substr(line.find('=') + 1));
    if (value == "true" || value == "1") {
        return true;
    }
    if (value == "false" || value == "0") {
        return false;
    }
    return std::nullopt;
}

// The lines of a text, without their line breaks. (Written out because
// clang 14 cannot compile libstdc++ 12's views::split over a string_view.)
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (true) {
        const auto end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) {
            return lines;
        }
        text.remove_prefix(end + 1);
    }
}

// The ways a user or a desktop switches an autostart entry off: Hidden=true
// (the standard), X-GNOME-Autostart-enabled=false (GNOME's own switch). The
// last occurrence of a key counts.
bool isSwitchedOff(std::string_view entry) {
    bool inMainGroup = false;
    bool hidden = false;
    bool gnomeEnabled = true;
    for (const std::string_view text : linesOf(entry)) {
        if (trimmed(text).starts_with('[')) {
            inMainGroup = trimmed(text) == mainGroup;
            continue;
        }
        const auto key = keyOf(text);
        if (!inMainGroup || !key) {
            continue;
        }
        if (*key == "Hidden") {
            hidden = booleanValue(text).value_or(false);
        } else if (*key == "X-GNOME-Autostart-enabled") {
            gnomeEnabled = booleanValue(text).value_or(true);
        }
    }
    return hidden || !gnomeEnabled;
}

// An entry the user may have edited, up to a size no entry reaches; nothing
// when there is none to keep (no file, not a regular file, not UTF-8 text).
std::optional<std::string> readEntry(const fs::path& path) {
    constexpr std::uintmax_t largestEntry = 64 * 1024;
    std::error_code error;
    if (!fs::is_regular_file(path, error) || fs::file_size(path, error) > largestEntry || error) {
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(file), {});
    if (!file || !isWellFormedUtf8(text)) {
        return std::nullopt;
    }
    return text;
}

// Missing folders are made private, as the base directory rules ask.
void createFolder(const fs::path& folder) {
    const char* failure = "Could not create the autostart folder";
    struct stat status {};
    if (::stat(folder.c_str(), &status) == 0) {
        if (!S_ISDIR(status.st_mode)) {
            throw SystemError(failure, folder.string(), ENOTDIR);
        }
        return;
    }
    if (errno != ENOENT) {
        throw SystemError(failure, folder.string(), errno);
    }
    if (folder.has_parent_path() && folder.parent_path() != folder) {
        createFolder(folder.parent_path());
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        throw SystemError(failure, folder.string(), errno);
    }
}

fs::path absoluteWhereKnown(fs::path path) {
    std::error_code error;
    fs::path result = fs::absolute(path, error);
    return error ? path : result;
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(fs::path configHome, fs::path executable, fs::path home)
    // The session starts the entry from its own working folder: name the
    // program absolutely.
    : entryPath_(std::move(configHome) / "autostart" / entryFileName),
      executable_(absoluteWhereKnown(std::move(executable))), home_(std::move(home)) {}

XdgAutostartLoginItem XdgAutostartLoginItem::forCurrentUser(fs::path executable) {
    // A user with no home at all gets a folder relative to the working folder:
    // no session reads it, but nothing fails either.
    return XdgAutostartLoginItem(UserFolders::configHome().value_or(".config"), std::move(executable),
                                 UserFolders::home().value_or(fs::path()));
}

std::string XdgAutostartLoginItem::desktopEntry(const fs::path& executable, std::string_view existing) {
    const std::string program = executable.string();
    if (!isNameableInDesktopEntry(program)) {
        throw std::runtime_error("Could not write " + std::string(entryDescription) + ": the app's location " +
                                 program +
                                 " cannot be named in it (it is not UTF-8 text or has control characters)");
    }
    std::ostringstream ours;
    ours << mainGroup << "\n"
         << "Type=Application\n"
         << "Name=Staywake\n"
         << "Comment=Keeps the computer awake\n"
         << "Exec=" << execValue(program) << "\n"
         << "Terminal=false\n";
    // Every other line of an entry the user edited stays: their own keys,
    // translations, comments and groups. The keys written here are replaced,
    // and the switches that turn the entry off go, since it is being turned on.
    constexpr std::array<std::string_view, 7> replaced = {
        "Type", "Name", "Comment", "Exec", "Terminal", "Hidden", "X-GNOME-Autostart-enabled"};
    std::string kept;
    bool wroteOurs = false;
    bool inMainGroup = false;
    if (existing.ends_with('\n')) {
        existing.remove_suffix(1);
    }
    if (existing.empty()) {
        return ours.str();
    }
    for (const std::string_view text : linesOf(existing)) {
        if (trimmed(text).starts_with('[')) {
            inMainGroup = trimmed(text) == mainGroup;
            if (inMainGroup) {
                kept += wroteOurs ? "" : ours.str();
                wroteOurs = true;
                continue;
            }
        }
        const auto key = keyOf(text);
        if (inMainGroup && key && std::find(replaced.begin(), replaced.end(), *key) != replaced.end()) {
            continue;
        }
        kept.append(text).push_back('\n');
    }
    return wroteOurs ? kept : ours.str() + kept;
}

LoginItemState XdgAutostartLoginItem::state() const {
    // An entry the session cannot read or that is not a file starts nothing.
    std::error_code error;
    if (!fs::is_regular_file(entryPath_, error)) {
        return LoginItemState::disabled;
    }
    std::ifstream file(entryPath_, std::ios::binary);
    if (!file) {
        return LoginItemState::disabled;
    }
    const std::string entry(std::istreambuf_iterator<char>(file), {});
    return isSwitchedOff(entry) ? LoginItemState::disabled : LoginItemState::enabled;
}

bool XdgAutostartLoginItem::isAtStableLocation() const {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(executable_, error);
    if (error || !resolved.is_absolute()) {
        return false;
    }
    const std::string program = resolved.string();
    std::vector<std::string> prefixes = {"/usr/", "/usr/local/", "/opt/"};
    if (!home_.empty()) {
        const fs::path local = home_ / ".local";
        prefixes.push_back(local.lexically_normal().string());
        // A home reached through a link (/home -> /var/home) holds the program
        // under its resolved name.
        if (const auto real = fs::weakly_canonical(local, error); !error) {
            prefixes.push_back(real.string());
        }
    }
    for (auto& prefix : prefixes) {
        if (!prefix.ends_with('/')) {
            prefix += '/';
        }
        if (program.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

void XdgAutostartLoginItem::registerItem() {
    const std::string contents = desktopEntry(executable_, readEntry(entryPath_).value_or(""));
    createFolder(entryPath_.parent_path());
    try {
        AtomicFile::replace(entryPath_, contents, 0644);
    } catch (const SystemError& error) {
        throw SystemError("Could not write " + std::string(entryDescription), entryPath_.string(),
                          error.errorNumber());
    }
}

void XdgAutostartLoginItem::unregisterItem() {
    if (::unlink(entryPath_.c_str()) != 0 && errno != ENOENT) {
        throw SystemError("Could not remove " + std::string(entryDescription), entryPath_.string(), errno);
    }
}

} // namespace staywake
