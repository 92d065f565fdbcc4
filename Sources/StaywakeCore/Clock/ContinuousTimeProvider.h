#pragma once

namespace staywake {

/// Seconds from an arbitrary origin that keep advancing while the machine
/// sleeps and are not moved when the wall clock is set.
class ContinuousTimeProvider {
public:
    virtual ~ContinuousTimeProvider() = default;
    virtual double continuousTime() const = 0;
};

} // namespace staywake
