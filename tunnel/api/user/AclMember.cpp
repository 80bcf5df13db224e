#include "tunnel/api/user/AclMember.h"

namespace tunnel {

AclMember::AclMember() : expire_time(0) {}

}  // namespace tunnel
