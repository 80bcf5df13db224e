#include "tunnel/api/user/Region.h"

namespace tunnel {

Region::Region()
    : id(-1),
      is_disabled(false),
      support_tcp(false),
      support_udp(false),
      support_http(false),
      support_https(false),
      support_domain(false) {}

}  // namespace tunnel
