// Logs its arguments through JournalLog, as the lid helper does, so a test can
// run it with a private /run and read what reached the journal's socket.
//   notice:TEXT   fault:TEXT   big:N (a notice of N bytes, "0123456789" repeated)
#include "StaywakeLinux/Journal/JournalLog.h"

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    staywake::JournalLog log("StaywakeLidHelper", "com.staywake.app.lidhelper", "lease");
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.starts_with("notice:")) {
            log.log(argument.substr(7));
        } else if (argument.starts_with("fault:")) {
            log.fault(argument.substr(6));
        } else if (argument.starts_with("big:")) {
            std::string line;
            const std::size_t size = std::stoul(argument.substr(4));
            while (line.size() < size) {
                line += static_cast<char>('0' + line.size() % 10);
            }
            log.log(line);
        } else {
            return 2;
        }
    }
    return 0;
}
