#include "tunnel/api/user/User.h"

namespace tunnel {

User::User() : id(-1) {}

}  // namespace tunnel
