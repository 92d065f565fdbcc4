#pragma once

#include "StaywakeCore/Awake/SleepBlocker.h"

#include <cstdint>
#include <optional>

namespace staywake {

/// A sleep blocker that takes no lock from the system: for tests and previews.
/// It counts what it is asked to do and can be told to refuse.
class InMemorySleepBlocker final : public SleepBlocker {
public:
    /// Throws SleepBlockerError::assertionFailed(refusalCode) while a refusal
    /// code is set; otherwise takes the lock if it is not held.
    void engage() override;
    void release() override;
    bool isEngaged() const override { return engaged_; }

    /// Every later engage() is refused with `code` until stopRefusing().
    void refuse(std::int32_t code) { refusalCode = code; }
    void stopRefusing() { refusalCode.reset(); }

    std::optional<std::int32_t> refusalCode;
    /// Calls of engage(), refused ones included.
    int engageCalls = 0;
    /// Times the lock was really taken (an engage while held takes nothing).
    int takenCount = 0;
    /// Times a held lock was given back.
    int releasedCount = 0;

private:
    bool engaged_ = false;
};

} // namespace staywake
