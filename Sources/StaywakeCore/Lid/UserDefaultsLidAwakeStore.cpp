#include "StaywakeCore/Lid/UserDefaultsLidAwakeStore.h"

#include <string>
#include <utility>

namespace staywake {

UserDefaultsLidAwakeStore::UserDefaultsLidAwakeStore(std::shared_ptr<UserDefaults> defaults)
    : defaults_(std::move(defaults)) {}

bool UserDefaultsLidAwakeStore::hasAcknowledgedHeatWarning() const { return defaults_->boolean(std::string(key)); }

void UserDefaultsLidAwakeStore::setHasAcknowledgedHeatWarning(bool acknowledged) {
    defaults_->set(std::string(key), acknowledged);
}

} // namespace staywake
