// A program file as the identity check reads it: any bytes at a path the
// check was pointed at. The reader must stay inside the file and hand back
// only a well-formed identity; the note's description, on its own, is
// accepted in one form only.

#include "FuzzCheck.h"

#include "StaywakeCore/Identity/CodeRequirement.h"
#include "StaywakeLinux/Identity/ElfIdentityNote.h"
#include "StaywakeLinux/Identity/ReadOnlyFile.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

using staywake::CodeRequirement;
using staywake::ElfIdentityNote;
using staywake::ReadOnlyFile;
using staywake::fuzz::require;

namespace {

// The file the reader opens, by path, as it opens a program: one file in
// memory, rewritten for every input.
class MemoryFile {
public:
    MemoryFile() : descriptor_(memfd_create("fuzz-elf", MFD_CLOEXEC)) {
        require(descriptor_ >= 0, "a memory file can be created");
    }

    std::string path() const { return "/proc/self/fd/" + std::to_string(descriptor_); }

    void hold(const std::uint8_t* data, std::size_t size) const {
        require(ftruncate(descriptor_, 0) == 0, "the memory file can be emptied");
        std::size_t written = 0;
        while (written < size) {
            const ssize_t count = pwrite(descriptor_, data + written, size - written, static_cast<off_t>(written));
            require(count > 0, "the memory file can be written");
            written += static_cast<std::size_t>(count);
        }
    }

private:
    int descriptor_;
};

std::string descriptionOf(const ElfIdentityNote& note) {
    std::string description = note.identifier;
    description += '\0';
    description += note.teamIdentifier.value_or("");
    description += '\0';
    return description;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const MemoryFile file;
    file.hold(data, size);
    if (const auto note = ElfIdentityNote::read(file.path())) {
        require(CodeRequirement::isIdentifier(note->identifier), "a read identifier is well formed");
        require(!note->teamIdentifier || CodeRequirement::isTeamIdentifier(*note->teamIdentifier),
                "a read Team ID is well formed");
    }

    const auto description = std::as_bytes(std::span(data, size));
    if (const auto note = ElfIdentityNote::fromDescription(description)) {
        const std::string written = descriptionOf(*note);
        require(written.size() == size && written.compare(0, size, reinterpret_cast<const char*>(data), size) == 0,
                "a description is accepted in its one written form only");
    }
    return 0;
}
