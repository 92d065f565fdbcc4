// StaywakeFileHash: prints the code directory hash of the regular file open on
// standard input (40 lower-case hexadecimal digits and a newline) and exits 0;
// prints nothing and exits 1 when the file cannot be read whole. The file is
// read by offset, from its start, whatever the descriptor's position.
#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"
#include "StaywakeLinux/Identity/ReadOnlyFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

int main() {
    using namespace staywake;
    const auto input = ReadOnlyFile::duplicate(STDIN_FILENO);
    const auto status = input ? input->status() : std::nullopt;
    if (!status || !S_ISREG(status->st_mode)) {
        return 1;
    }
    const auto hash = ElfNoteCodeSigning::codeDirectoryHash(*input);
    if (!hash) {
        return 1;
    }
    const std::string line = *hash + "\n";
    return std::fwrite(line.data(), 1, line.size(), stdout) == line.size() && std::fflush(stdout) == 0 ? 0 : 1;
}
