#pragma once

#include "pmset/PmsetRoot.h"

#include <string>
#include <vector>

namespace staywake {

/// The few systemctl commands the pmset tool needs, each under a time limit.
/// Failures throw PmsetToolError naming the command.
class Systemctl {
public:
    explicit Systemctl(PmsetRoot root);

    /// The unit-file state of each unit, in order ("masked", "masked-runtime",
    /// "static", ...; "not-found" for a unit without any file).
    std::vector<std::string> unitFileStates(const std::vector<std::string>& units) const;
    /// Masks the units in /run only, so the mask ends at the next boot at the latest.
    void maskRuntime(const std::vector<std::string>& units) const;
    /// Removes the units' masks in /run; masks elsewhere stay.
    void unmaskRuntime(const std::vector<std::string>& units) const;
    /// Has logind read its configuration again (SIGHUP). Nothing to do when
    /// logind is not running, or when the tool works on a tree of its own.
    void reloadLogind() const;

private:
    struct Outcome {
        int status;
        std::string output;
    };

    Outcome run(const std::vector<std::string>& arguments, double timeout) const;
    void runOrThrow(const std::string& what, const std::vector<std::string>& arguments, double timeout) const;
    std::string unitFileState(const std::string& unit) const;

    PmsetRoot root_;
    std::string executable_;
};

} // namespace staywake
