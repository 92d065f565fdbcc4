#include "StaywakeCore/Control/SessionEndNotice.h"

namespace staywake {

std::optional<Date> SessionEndNotice::warningAt(Date start, Date end) {
    if (!(end - start >= shortestWarned)) {
        return std::nullopt;
    }
    return end - warningLead;
}

} // namespace staywake
