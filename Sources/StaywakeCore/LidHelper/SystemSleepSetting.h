#pragma once

namespace staywake {

/// The lid helper's only way to the system sleep setting (true = sleep
/// disabled). Failures are thrown as exceptions derived from std::exception
/// whose what() is a fixed English description; the lease keeper keeps it and
/// passes the text on.
class SystemSleepSetting {
public:
    virtual ~SystemSleepSetting() = default;

    /// Writes the setting and confirms it by reading it back.
    virtual void setSleepDisabled(bool disabled) = 0;
    /// Reads the setting.
    virtual bool isSleepDisabled() = 0;
};

} // namespace staywake
