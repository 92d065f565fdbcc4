// StaywakeLidHelperTestClient SOCKET SECONDS: the app's lease client (it carries the app's identity note) asks for
// a lease until now + SECONDS, prints "granted", "refused: <text>" or "failed: <reason>" on a line, and then holds
// the connection until its standard input closes or it is killed.
#include "StaywakeLinux/Socket/LidLeaseClientConnection.h"

#include <chrono>
#include <future>
#include <iostream>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
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
    for (char byte = 0; ::read(STDIN_FILENO, &byte, 1) > 0;) {
    }
    return 0;
}
