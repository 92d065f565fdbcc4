#include "ZorIdiDurirad/FileHashCommand.h"

#include "StaywakeCore/Identity/CodeDirectoryHash.h"
#include "StaywakeLinux/Identity/ReadOnlyFile.h"
#include "ZorIdiDurirad/BoundedCommand.h"
#include "ZorIdiDurirad/CommandInterrupt.h"

#include <exception>
#include <filesystem>

namespace staywake {

FileHashCommand::FileHashCommand(std::string program, std::shared_ptr<CommandInterrupt> interrupt,
                                 std::function<void(const std::string& line)> log, double timeout)
    : program_(std::move(program)), interrupt_(std::move(interrupt)), log_(std::move(log)), timeout_(timeout) {}

std::optional<std::string> FileHashCommand::operator()(const ReadOnlyFile& file) const {
    std::string why;
    try {
        const auto result = BoundedCommand::run(program_, {}, timeout_, interrupt_.get(), file.descriptor());
        constexpr std::size_t digits = 2 * CodeDirectoryHash::byteCount;
        if (result.status == 0 && result.output.size() == digits + 1 && result.output.back() == '\n' &&
            CodeDirectoryHash::isHash(std::string_view(result.output).substr(0, digits))) {
            return result.output.substr(0, digits);
        }
        why = result.status != 0 ? "it exited with status " + std::to_string(result.status) : "it printed no hash";
    } catch (const std::exception& error) {
        why = error.what();
    }
    if (log_) {
        log_("could not hash a program file with " + program_ + ", so it is not trusted: " + why);
    }
    return std::nullopt;
}

ElfNoteCodeSigning::FileHasher FileHashCommand::hasher() const {
    return [command = *this](const ReadOnlyFile& file) { return command(file); };
}

std::string FileHashCommand::pathBeside(const std::string& executablePath) {
    return (std::filesystem::path(executablePath).parent_path() / "StaywakeFileHash").string();
}

} // namespace staywake
