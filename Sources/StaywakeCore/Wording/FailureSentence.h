#pragma once

#include "StaywakeCore/Awake/AwakeFailure.h"
#include "StaywakeCore/Awake/LidHelperRefusal.h"
#include "StaywakeCore/Wording/LocalizableText.h"

namespace staywake {

/// The sentence the panel shows for a failure.
class FailureSentence {
public:
    FailureSentence() = delete;

    /// The table of a text shown verbatim, neither translated nor filled in:
    /// a reported message, or a helper reason this version does not know.
    static constexpr const char* verbatimTable = "";

    /// A refused idle lock names its code as a signed decimal number; a helper
    /// refusal has the refusal's sentence; the helper's unavailability and
    /// approval have fixed Night Brew sentences.
    static LocalizableText of(const AwakeFailure& failure);

    /// The Night Brew sentence for each of the helper's reasons, with the
    /// detail of the three that carry one inserted unchanged; an unknown
    /// reason word for word.
    static LocalizableText of(const LidHelperRefusal& refusal);
};

} // namespace staywake
