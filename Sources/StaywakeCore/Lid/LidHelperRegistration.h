#pragma once

#include "StaywakeCore/Lid/LidHelperStatus.h"

namespace staywake {

/// The lid helper's registration with the service manager. The app registers
/// the helper on demand, when Night Brew is first turned on, and never
/// unregisters it. Used on the main thread.
class LidHelperRegistration {
public:
    virtual ~LidHelperRegistration() = default;

    /// Never fails: a state that cannot be read or is not understood reads as
    /// notRegistered, which leads to a registration attempt.
    virtual LidHelperStatus status() const = 0;
    /// Registers the helper and makes it run. Throws the system's error, with
    /// its message, when that fails. (`register` itself is a C++ keyword.)
    virtual void registerHelper() = 0;
};

} // namespace staywake
