// Any bytes as an update feed, and split at a NUL as two versions to order.

#include "FuzzCheck.h"

#include "StaywakeCore/Update/Appcast.h"
#include "StaywakeCore/Update/SoftwareVersion.h"

void staywake::fuzz::check(std::span<const std::uint8_t>, std::string_view text) {
    const auto parsed = Appcast::parse(text);
    if (const auto* appcast = std::get_if<Appcast>(&parsed)) {
        for (const auto& item : appcast->items) {
            require(!item.url.empty() && !item.version.empty() && !item.shortVersion.empty(),
                    "a kept item has a url and versions");
            require(item.length > 0 && item.length <= Appcast::lengthLimit, "a kept item's length is in bounds");
        }
        const auto choice = appcast->newestApplicable("1.0", "12");
        require(!choice.update || SoftwareVersion::compare(choice.update->version, "1.0") > 0,
                "only a newer release is offered");
    } else {
        require(!std::get<Appcast::Error>(parsed).reason.empty(), "an error says what was wrong");
    }
    if (const auto split = text.find('\0'); split != std::string_view::npos) {
        const auto a = text.substr(0, split);
        const auto b = text.substr(split + 1);
        require(SoftwareVersion::compare(a, b) == 0 <=> SoftwareVersion::compare(b, a),
                "versions order the same either way round");
        require(SoftwareVersion::compare(a, a) == 0, "a version equals itself");
    }
}
