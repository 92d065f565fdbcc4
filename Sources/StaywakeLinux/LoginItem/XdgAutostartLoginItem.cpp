#include "StaywakeLinux/LoginItem/XdgAutostartLoginItem.h"

#include "StaywakeLinux/Socket/UniqueFd.h"
#include "StaywakeLinux/SystemError.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
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
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7f) {
            return false;
        }
        std::size_t length = 1;
        std::uint32_t lowest = 0;
        if (byte >= 0xf0 && byte <= 0xf4) {
            length = 4;
            lowest = 0x10000;
        } else if (byte >= 0xe0) {
            length = byte <= 0xef ? 3 : 0;
            lowest = 0x800;
        } else if (byte >= 0xc2) {
            length = 2;
            lowest = 0x80;
        } else if (byte >= 0x80) {
            length = 0;
        }
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        std::uint32_t codePoint = length == 1 ? byte : byte & (0x7fu >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto continuation = static_cast<unsigned char>(text[i + k]);
            if ((continuation & 0xc0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (continuation & 0x3fu);
        }
        if (codePoint < lowest || codePoint > 0x10ffff || (codePoint >= 0xd800 && codePoint <= 0xdfff)) {
            return false;
        }
        i += length;
    }
    return true;
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

// Session managers read booleans with GLib, which also takes 1 for true.
bool isHidden(std::istream& entry) {
    bool inMainGroup = false;
    bool hidden = false;
    std::string line;
    while (std::getline(entry, line)) {
        const auto text = trimmed(line);
        if (text.empty() || text.front() == '#') {
            continue;
        }
        if (text.front() == '[') {
            inMainGroup = text == "[Desktop Entry]";
            continue;
        }
        const auto equals = text.find('=');
        if (!inMainGroup || equals == std::string_view::npos) {
            continue;
        }
        if (trimmed(text.substr(0, equals)) == "Hidden") {
            const auto value = trimmed(text.substr(equals + 1));
            hidden = value == "true" || value == "1";
        }
    }
    return hidden;
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

// Temporary file, fsync, rename, fsync of the folder: after a crash the entry
// is either the old one or the new one, never half written.
void writeAtomically(const fs::path& path, const std::string& contents) {
    const std::string failure = "Could not write " + std::string(entryDescription);
    std::string pattern = (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
    UniqueFd file(::mkostemp(pattern.data(), O_CLOEXEC));
    if (file.get() < 0) {
        throw SystemError(failure, path.string(), errno);
    }
    const fs::path temporary = pattern;
    auto fail = [&](int error) {
        ::unlink(temporary.c_str());
        throw SystemError(failure, path.string(), error);
    };
    if (::fchmod(file.get(), 0644) != 0) {
        fail(errno);
    }
    std::size_t written = 0;
    while (written < contents.size()) {
        const auto result = ::write(file.get(), contents.data() + written, contents.size() - written);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
        }
        written += static_cast<std::size_t>(result);
    }
    if (::fsync(file.get()) != 0) {
        fail(errno);
    }
    if (::close(file.release()) != 0) {
        fail(errno);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        fail(errno);
    }
    UniqueFd folder(::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) {
        ::fsync(folder.get());
    }
}

fs::path absoluteWhereKnown(fs::path path) {
    std::error_code error;
    fs::path result = fs::absolute(path, error);
    return error ? path : result;
}

fs::path homeOfCurrentUser() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        return home;
    }
    std::array<char, 4096> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(fs::path configHome, fs::path executable, fs::path home)
    // The session starts the entry from its own working folder: name the
    // program absolutely.
    : entryPath_(std::move(configHome) / "autostart" / entryFileName),
      executable_(absoluteWhereKnown(std::move(executable))), home_(std::move(home)) {}

XdgAutostartLoginItem XdgAutostartLoginItem::forCurrentUser(fs::path executable) {
    fs::path home = homeOfCurrentUser();
    fs::path configHome = home / ".config";
    // A relative $XDG_CONFIG_HOME is invalid and must be ignored.
    if (const char* value = std::getenv("XDG_CONFIG_HOME"); value != nullptr && *value == '/') {
        configHome = value;
    }
    return XdgAutostartLoginItem(std::move(configHome), std::move(executable), std::move(home));
}

std::string XdgAutostartLoginItem::desktopEntry(const fs::path& executable) {
    const std::string program = executable.string();
    if (!isNameableInDesktopEntry(program)) {
        throw std::runtime_error("Could not write " + std::string(entryDescription) +
                                 ": the app's location " + program +
                                 " cannot be named in it (it is not UTF-8 text or has control characters)");
    }
    std::ostringstream entry;
    entry << "[Desktop Entry]\n"
          << "Type=Application\n"
          << "Name=Staywake\n"
          << "Comment=Keeps the computer awake\n"
          << "Exec=" << execValue(program) << "\n"
          << "Terminal=false\n";
    return entry.str();
}

LoginItemState XdgAutostartLoginItem::state() const {
    // An entry the session cannot read or that is not a file starts nothing.
    std::error_code error;
    if (!fs::is_regular_file(entryPath_, error)) {
        return LoginItemState::disabled;
    }
    std::ifstream entry(entryPath_);
    if (!entry) {
        return LoginItemState::disabled;
    }
    return isHidden(entry) ? LoginItemState::disabled : LoginItemState::enabled;
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
    const std::string contents = desktopEntry(executable_);
    createFolder(entryPath_.parent_path());
    writeAtomically(entryPath_, contents);
}

void XdgAutostartLoginItem::unregisterItem() {
    if (::unlink(entryPath_.c_str()) != 0 && errno != ENOENT) {
        throw SystemError("Could not remove " + std::string(entryDescription), entryPath_.string(), errno);
    }
}

} // namespace staywake
