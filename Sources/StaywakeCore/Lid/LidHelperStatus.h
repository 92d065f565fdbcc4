#pragma once

namespace staywake {

/// Whether the lid helper may run, as the service manager sees it.
enum class LidHelperStatus {
    /// Registered and allowed to run.
    enabled,
    /// Registered, but the user (or the administrator) has to allow it first.
    requiresApproval,
    /// Known to the system but not registered.
    notRegistered,
    /// The system does not know the helper at all.
    notFound,
};

} // namespace staywake
