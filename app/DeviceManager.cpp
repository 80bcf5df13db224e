#include "app/DeviceManager.h"

namespace tunnel {

DeviceManager::DeviceManager() = default;

DeviceManager::~DeviceManager() = default;

}  // namespace tunnel
