// Logs its arguments through JournalLog as the lid helper does, "fault:TEXT"
// as a fault and anything else as a notice, so a test can run it with a
// private /run and read what reached the journal's socket.
#include "StaywakeLinux/Journal/JournalLog.h"

#include <string>

int main(int argc, char** argv) {
    staywake::JournalLog log("StaywakeLidHelper", "com.staywake.app.lidhelper", "lease");
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        argument.starts_with("fault:") ? log.fault(argument.substr(6)) : log.log(argument);
    }
    return 0;
}
