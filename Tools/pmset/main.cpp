// pmset for Staywake's lid helper: `pmset -g` prints the listing with the
// SleepDisabled line, `pmset -a disablesleep 1|0` writes the setting. Exit
// status 0 on success, 1 on failure, 2 for other arguments; every failure is
// explained in one line on standard error.

#include "pmset/LockHolderProcess.h"
#include "pmset/LockHolding.h"
#include "pmset/PmsetListing.h"
#include "pmset/PmsetRequest.h"
#include "pmset/SleepLockSetting.h"

#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    using namespace staywake;
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const auto request = PmsetRequest::parse(arguments);
    if (!request) {
        std::cerr << PmsetRequest::usage << "\n";
        return 2;
    }
    if (request->kind == PmsetRequest::Kind::hold) {
        return holdNightBrewLock();
    }
    try {
        const SleepLockSetting setting(LockHolderProcess::ownProgram());
        if (request->kind == PmsetRequest::Kind::read) {
            std::cout << PmsetListing::text(setting.read()) << std::flush;
        } else {
            setting.write(request->disableSleep);
        }
        return std::cout ? 0 : 1;
    } catch (const std::exception& failure) {
        std::cerr << "pmset: " << failure.what() << "\n";
        return 1;
    }
}
