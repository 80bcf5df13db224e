#include "app/DeviceManager.h"

namespace tunnel {

DeviceManager::DeviceManager() = default;

DeviceManager::~DeviceManager() = default;

int DeviceManager::listIndex(int current, long long localId) const {
    gt::core::Array<Device> const& list = devices();
    if (current >= 0 && current < list.count()) return current;
    if (localId > 0) {
        for (int i = 0; i < list.count(); ++i)
            if (list[i].id == localId) return i;
    }
    return list.isEmpty() ? -1 : 0;
}

}  // namespace tunnel
