#pragma once

// What every fuzz target shares: the entry point, the invariant check and a file in memory.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace staywake::fuzz {

/// A broken invariant is a crash to libFuzzer: it keeps the input and stops.
inline void require(bool holds, std::string_view invariant) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %.*s\n", static_cast<int>(invariant.size()), invariant.data());
        std::abort();
    }
}

/// One file in memory, rewritten for every input and opened by path as the
/// code under test opens its files: a file on disk can make every input wait for the disk.
class MemoryFile {
public:
    MemoryFile() { require(descriptor_ >= 0, "a memory file can be created"); }

    std::string path() const { return "/proc/self/fd/" + std::to_string(descriptor_); }

    void hold(std::span<const std::uint8_t> bytes) const {
        require(ftruncate(descriptor_, 0) == 0, "the memory file can be emptied");
        for (std::size_t written = 0; written < bytes.size();) {
            const ssize_t count =
                pwrite(descriptor_, bytes.data() + written, bytes.size() - written, static_cast<off_t>(written));
            require(count > 0, "the memory file can be written");
            written += static_cast<std::size_t>(count);
        }
    }

private:
    int descriptor_ = memfd_create("fuzz-input", MFD_CLOEXEC);
};

/// One input, as each target checks it: any bytes, also seen as text.
void check(std::span<const std::uint8_t> bytes, std::string_view text);

} // namespace staywake::fuzz

// Each fuzz target is one program that includes this header once.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    staywake::fuzz::check({data, size}, {reinterpret_cast<const char*>(data), size});
    return 0;
}
