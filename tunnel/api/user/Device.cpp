#include "tunnel/api/user/Device.h"

namespace tunnel {

Device::Device() : id(-1), is_disabled(false), user_id(-1), create_time(0), is_online(false), forwards(0) {}

}  // namespace tunnel
