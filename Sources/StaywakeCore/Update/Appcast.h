#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace staywake {

/// One release offered by an update feed.
struct AppcastItem {
    std::string title;
    /// The build version the release compares by (`sparkle:version`).
    std::string version;
    /// The version shown to people (`sparkle:shortVersionString`); the build
    /// version when the feed gives none.
    std::string shortVersion;
    std::string url;
    std::uint64_t length = 0;
    std::string type;
    /// Base64 Ed25519 signature of the whole package; empty when unsigned,
    /// which the installer refuses.
    std::string edSignature;
    std::optional<std::string> minimumSystemVersion;
    std::optional<std::string> releaseNotesLink;
    /// Release notes given inline, as HTML.
    std::string description;
};

/// An update feed: an RSS 2.0 channel whose items each carry an enclosure with
/// the package and Sparkle-style version and signature fields.
struct Appcast {
    static constexpr std::string_view sparkleNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";
    /// The largest feed accepted.
    static constexpr std::size_t sizeLimit = 1024 * 1024;
    /// The largest package an item may announce.
    static constexpr std::uint64_t lengthLimit = std::uint64_t{512} * 1024 * 1024;

    struct Error {
        std::string reason;
    };

    /// The usable items, in the feed's order.
    std::vector<AppcastItem> items;
    /// Why each item that could not be used was left out ("item 2: ...").
    std::vector<std::string> skipped;

    /// Never throws: a feed that is too large, not well-formed, or not an RSS
    /// channel is an error that names what was wrong.
    static std::variant<Appcast, Error> parse(std::string_view feed);

    /// What a check found for an app at `currentVersion` on a system at
    /// `systemVersion` (absent when unknown: no item is held back for it).
    struct Choice {
        /// The newest item newer than the app that this system can run and
        /// that is not `skippedVersion`.
        std::optional<AppcastItem> update;
        /// A newer item than `update` that needs a newer system.
        std::optional<AppcastItem> needsNewerSystem;
    };
    Choice newestApplicable(std::string_view currentVersion, const std::optional<std::string>& systemVersion,
                            const std::optional<std::string>& skippedVersion = std::nullopt) const;
};

} // namespace staywake
