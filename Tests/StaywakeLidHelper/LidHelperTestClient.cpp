// A Staywake client for the lid helper's tests: it carries the app's identity
// note, so the helper accepts it when it sits where only root can change it.
//   StaywakeLidHelperTestClient SOCKET SECONDS [after-input]
// (with "after-input": first waits for one byte on standard input) connects, asks for a lease until now + SECONDS,
// prints "granted", "refused: <text>" or "failed: <reason>" on a line, and then holds the connection until its
// standard input closes or it is killed.
#include "StaywakeLinux/Socket/LidLeaseClientConnection.h"

#include <chrono>
#include <future>
#include <iostream>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 4 && std::string(argv[3]) == "after-input")) {
        std::cerr << "usage: StaywakeLidHelperTestClient SOCKET SECONDS [after-input]\n";
        return 2;
    }
    char byte = 0;
    if (argc == 4) {
        std::cout << "waiting" << std::endl;
        if (::read(STDIN_FILENO, &byte, 1) != 1) {
            return 2;
        }
    }
    staywake::LidLeaseClientConnection connection(argv[1]);
    std::promise<std::string> outcome;
    connection.resume();
    const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    connection.renewLease(
        now + std::stod(argv[2]),
        [&](std::optional<std::string> text) { outcome.set_value(text ? "refused: " + *text : "granted"); },
        [&](const std::string& reason) { outcome.set_value("failed: " + reason); });
    std::cout << outcome.get_future().get() << std::endl;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}
