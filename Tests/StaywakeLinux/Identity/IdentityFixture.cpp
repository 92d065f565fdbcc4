// A program whose identity note the tests choose. It reports where it was
// launched from, then, with "wait", stays alive until its standard input ends,
// so a test can inspect it as a running peer.

#include "StaywakeLinux/Identity/ProcessExecutable.h"

#include <unistd.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    using staywake::ProcessExecutable;
    const auto file = ProcessExecutable::runningExecutableFile();
    std::printf("launched %s\n", ProcessExecutable::launchedPath(std::nullopt).value_or("-").c_str());
    std::printf("file %llu %llu\n", file ? static_cast<unsigned long long>(file->device) : 0ULL,
                file ? static_cast<unsigned long long>(file->inode) : 0ULL);
    std::fflush(stdout);
    if (argc > 1 && std::string(argv[1]) == "wait") {
        char byte = 0;
        while (::read(STDIN_FILENO, &byte, 1) > 0) {
        }
    }
    return 0;
}
