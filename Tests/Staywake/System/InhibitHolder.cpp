// Engages an InhibitSleepBlocker on the buses given as arguments, says
// "engaged" on standard output and then holds the locks until it is killed:
// the process the tests kill with SIGKILL.
//
//     StaywakeInhibitHolder SYSTEM-ADDRESS SESSION-ADDRESS REASON

#include "Staywake/System/InhibitSleepBlocker.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const auto arguments = QCoreApplication::arguments();
    if (arguments.size() != 4) {
        std::fprintf(stderr, "usage: StaywakeInhibitHolder SYSTEM-ADDRESS SESSION-ADDRESS REASON\n");
        return 2;
    }
    const auto system = QDBusConnection::connectToBus(arguments.at(1), QStringLiteral("system"));
    const auto session = QDBusConnection::connectToBus(arguments.at(2), QStringLiteral("session"));
    staywake::InhibitSleepBlocker blocker(session, system, arguments.at(3));
    try {
        blocker.engage();
    } catch (const std::exception& error) {
        std::printf("failed: %s\n", error.what());
        return 1;
    }
    std::printf("engaged\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
