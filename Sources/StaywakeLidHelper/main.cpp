// StaywakeLidHelper: the privileged daemon that holds the system's sleep
// setting under leases the Staywake app keeps renewing. With "--launchd-plist"
// it prints its job description instead.
#include "StaywakeCore/LidHelper/LidHelperService.h"
#include "StaywakeLidHelper/LaunchdPlistCommand.h"
#include "StaywakeLidHelper/LidHelperDaemon.h"
#include "StaywakeLidHelper/TerminationSignalThread.h"
#include "StaywakeLinux/Journal/JournalLog.h"

#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

int main(int argc, char** argv) {
    using namespace staywake;
    if (argc > 1 && std::string_view(argv[1]) == "--launchd-plist") {
        return printLaunchdPlist(std::cout, std::cerr);
    }
    const auto log =
        std::make_shared<JournalLog>("StaywakeLidHelper", std::string(LidHelperService::label), "lease");
    try {
        // Before the daemon's threads start, so that every one inherits the
        // mask and only the termination thread ever takes SIGTERM (the log's
        // writer, already running, blocks every signal of its own accord).
        TerminationSignalThread::blockInThisThread();
        LidHelperDaemon daemon(log);
        return daemon.run();
    } catch (const std::exception& error) {
        log->fault("stopping, the helper could not go on: " + std::string(error.what()));
    } catch (...) {
        log->fault("stopping, the helper could not go on: an unknown failure");
    }
    return 1;
}
