#include "HeldCommand.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace staywake {

namespace {

volatile sig_atomic_t child = 0;

void passOn(int signal, siginfo_t* info, void*) {
    // SI_KERNEL: the terminal's ^C reached the whole group, the child too.
    if (child > 0 && info->si_code != SI_KERNEL) {
        kill(child, signal);
    }
}

} // namespace

int HeldCommand::run(const std::vector<std::string>& command) {
    std::vector<char*> arguments;
    for (const auto& argument : command) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);

    struct sigaction forward {};
    forward.sa_sigaction = passOn;
    forward.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&forward.sa_mask);
    struct sigaction oldInterrupt {
    }, oldTerminate{};
    sigaction(SIGINT, &forward, &oldInterrupt);
    sigaction(SIGTERM, &forward, &oldTerminate);

    const pid_t pid = fork();
    if (pid < 0) {
        std::fprintf(stderr, "staywakectl: could not start %s: %s\n", command.front().c_str(),
                     std::strerror(errno));
        return 126;
    }
    if (pid == 0) {
        sigaction(SIGINT, &oldInterrupt, nullptr);
        sigaction(SIGTERM, &oldTerminate, nullptr);
        execvp(arguments.front(), arguments.data());
        const int error = errno;
        std::fprintf(stderr, "staywakectl: could not run %s: %s\n", arguments.front(), std::strerror(error));
        _exit(error == ENOENT ? 127 : 126);
    }
    child = pid;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    child = 0;
    sigaction(SIGINT, &oldInterrupt, nullptr);
    sigaction(SIGTERM, &oldTerminate, nullptr);
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

} // namespace staywake
