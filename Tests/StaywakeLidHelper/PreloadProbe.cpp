// Preloaded into a genuine client by the lid helper's tests, as an attacker's
// library would be: it proves it ran by creating the file named in
// STAYWAKE_PRELOAD_MARKER.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace {

[[gnu::constructor]] void markPreloaded() {
    if (const char* marker = std::getenv("STAYWAKE_PRELOAD_MARKER")) {
        const int fd = ::open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

} // namespace
