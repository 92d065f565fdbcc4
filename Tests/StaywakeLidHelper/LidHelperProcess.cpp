#include "LidHelperProcess.h"

#include <sstream>
#include <stdexcept>

namespace staywake::testing {
namespace fs = std::filesystem;

LidHelperProcess::LidHelperProcess(const fs::path& directory, const fs::path& helperBinary,
                                   const std::string& polkit)
    : run_(directory / "run"), helpers_(directory / "Staywake.app" / "Contents" / "Helpers"),
      helper_(helpers_ / "StaywakeLidHelper"), output_(directory / "helper-output"),
      buses_({.upower = false, .portal = false, .polkit = polkit}) {
    if (!buses_.failure().empty()) {
        throw std::runtime_error(buses_.failure());
    }
    fs::create_directories(run_);
    fs::create_directories(helpers_);
    fs::copy_file(helperBinary, helper_);
    fs::copy_file(STAYWAKE_FAKE_PMSET, helpers_ / "pmset");
    fs::copy_file(STAYWAKE_FILE_HASH, helpers_ / "StaywakeFileHash");
    fs::permissions(helper_, fs::perms(0755));
    fs::permissions(helpers_ / "pmset", fs::perms(0755));
    writeFile(directory / "Staywake.app" / "Contents" / "Info.plist",
              "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>com.staywake.app</string>"
              "<key>CFBundleShortVersionString</key><string>1.4</string>"
              "<key>CFBundleVersion</key><string>57</string></dict></plist>\n");
    writeFile(helpers_ / "pmset.state", "0\n");
    journal_ = std::make_unique<JournalCapture>(run_);
}

void LidHelperProcess::startWithSocket(int listening) {
    // The shell's own pid is the helper's once it execs.
    launch({"/bin/sh", "-c", "LISTEN_PID=$$ LISTEN_FDS=1 exec \"$0\"", helper_.string()}, listening);
}

void LidHelperProcess::launch(const std::vector<std::string>& argv, int passedSocket) {
    ChildOptions options;
    options.environment = {"DBUS_SYSTEM_BUS_ADDRESS=" + buses_.systemAddress()};
    options.privateRun = run_;
    options.passedDescriptor = passedSocket;
    options.outputFile = output_;
    process_.reset();
    process_ = std::make_unique<ChildProcess>(argv, options);
}

std::vector<std::string> LidHelperProcess::callLines() const {
    std::vector<std::string> lines;
    std::istringstream text(readFile(helpers_ / "pmset.calls"));
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace staywake::testing
