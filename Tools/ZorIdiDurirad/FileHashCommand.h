#pragma once

#include "StaywakeLinux/Identity/ElfNoteCodeSigning.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace staywake {

class CommandInterrupt;
class ReadOnlyFile;

/// Hashes program files for the identity checks with the bundle's
/// StaywakeFileHash, a short-lived program handed the already open file on
/// its standard input, so that neither the helper (judging its clients) nor
/// the app (judging the helper) loads libcrypto.
///
/// The program runs under the bounded command runner: one that does not
/// answer within `timeout` seconds is killed, and so is one running when the
/// interrupt is pressed. Its output must be exactly a hash and a newline,
/// with exit status 0. Anything else (no program, a crash, a time-out, other
/// output) is no hash, which refuses the program being judged; the failure is
/// logged. May be used from any thread.
class FileHashCommand {
public:
    static constexpr double defaultTimeout = 2.0;

    FileHashCommand(std::string program, std::shared_ptr<CommandInterrupt> interrupt,
                    std::function<void(const std::string& line)> log, double timeout = defaultTimeout);

    std::optional<std::string> operator()(const ReadOnlyFile& file) const;

    /// As an ElfNoteCodeSigning hasher.
    ElfNoteCodeSigning::FileHasher hasher() const;

    /// "<directory of executablePath>/StaywakeFileHash". The kernel's
    /// " (deleted)" mark on a replaced executable sits in the file name and so
    /// does not matter.
    static std::string pathBeside(const std::string& executablePath);

private:
    std::string program_;
    std::shared_ptr<CommandInterrupt> interrupt_;
    std::function<void(const std::string& line)> log_;
    double timeout_;
};

} // namespace staywake
