#include "StaywakeCore/Identity/LidHelperFileWatch.h"

#include "StaywakeCore/Identity/ProgramFileInspector.h"
#include "StaywakeCore/LidHelper/LidHelperService.h"

namespace staywake {

LidHelperFileWatch::LidHelperFileWatch(std::string path, File startedFrom, std::string runningCodeDirectoryHash,
                                       Identify identify, Judge judge)
    : path_(std::move(path)), runningCodeDirectoryHash_(std::move(runningCodeDirectoryHash)),
      startedFrom_(startedFrom), identify_(std::move(identify)), judge_(std::move(judge)) {}

std::optional<LidHelperFileWatch> LidHelperFileWatch::forRunningHelper(
    const std::optional<std::string>& path, const std::optional<File>& startedFrom,
    const std::optional<std::string>& runningCodeDirectoryHash, const std::optional<std::string>& teamIdentifier,
    std::shared_ptr<const ProgramFileInspector> inspector) {
    if (!path || !startedFrom || !runningCodeDirectoryHash || !inspector) {
        return std::nullopt;
    }
    auto requirement = LidHelperService::codeRequirement(LidHelperService::label, teamIdentifier);
    if (!requirement) {
        return std::nullopt;
    }
    Identify identify = [inspector](const std::string& candidate) { return inspector->identity(candidate); };
    Judge judge = [inspector, requirement = std::move(*requirement)](const std::string& candidate) {
        return inspector->codeDirectoryHash(candidate, requirement);
    };
    return LidHelperFileWatch(*path, *startedFrom, *runningCodeDirectoryHash, std::move(identify),
                              std::move(judge));
}

LidHelperFileWatch::Look LidHelperFileWatch::look() {
    Finding finding = find();
    const bool changed = !lastFinding_ || *lastFinding_ != finding;
    lastFinding_ = finding;
    return Look{std::move(finding), changed};
}

LidHelperFileWatch::Finding LidHelperFileWatch::find() {
    const auto identity = identify_(path_);
    if (!identity) {
        // The cache stays: a file that comes back unchanged needs no new judgement.
        return Finding::missing();
    }
    if (judged_ && judged_->identity == *identity) {
        return judged_->finding;
    }
    const auto hash = judge_(path_);
    Finding finding = !hash ? Finding::unrecognised()
                      // A copy of this very build at another inode still counts as a
                      // replacement: the service manager would start that file, not this one.
                      : (*hash == runningCodeDirectoryHash_ && identity->file() == startedFrom_)
                          ? Finding::running()
                          : Finding::replaced(*hash);
    judged_ = Judged{*identity, finding};
    return finding;
}

bool LidHelperFileWatch::stepsAside(const Finding& finding, bool isLeaseHeld, bool isResetInDoubt) {
    return finding.kind() == Finding::Case::replaced && !isLeaseHeld && !isResetInDoubt;
}

std::optional<std::string> LidHelperFileWatch::launchedPath(const std::optional<std::string>& kernelExecPath,
                                                            const std::optional<std::string>& loaderPath,
                                                            const std::optional<std::string>& processPath) {
    for (const auto* candidate : {&kernelExecPath, &loaderPath, &processPath}) {
        if (*candidate && candidate->value().starts_with('/')) {
            return **candidate;
        }
    }
    return std::nullopt;
}

} // namespace staywake
