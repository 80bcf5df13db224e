#include "app/AclManager.h"

namespace tunnel {

AclManager::AclManager() = default;

AclManager::~AclManager() = default;

}  // namespace tunnel
