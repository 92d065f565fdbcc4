// A compiled stand-in for the bundle's pmset tool, for the helper's
// benchmarks: the same behaviour as the tests' fake-pmset script when every
// mode is "ok", without starting a shell, date and cat on each call. It keeps
// the setting in pmset.state beside itself and appends each command line,
// with the wall-clock time, to pmset.calls.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    const auto here = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    std::string line;
    for (int i = 1; i < argc; ++i) {
        line += (i > 1 ? " " : "") + std::string(argv[i]);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    std::ofstream(here / "pmset.calls", std::ios::app) << std::to_string(seconds) << ' ' << line << '\n';

    if (line == "-g") {
        std::string state = "0";
        std::ifstream(here / "pmset.state") >> state;
        std::printf(
            "System-wide power settings:\nCurrently in use:\n standby              1\n SleepDisabled\t\t%s\n",
            state.c_str());
        return 0;
    }
    if (line == "-a disablesleep 1" || line == "-a disablesleep 0") {
        std::ofstream(here / "pmset.state", std::ios::trunc) << line.back() << '\n';
        return 0;
    }
    return 2;
}
