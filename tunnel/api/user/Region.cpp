#include "tunnel/api/user/Region.h"

using gt::core::Any;
using gt::core::Dictionary;

namespace tunnel {

Region::Region()
    : id(-1),
      is_disabled(false),
      support_tcp(false),
      support_udp(false),
      support_http(false),
      support_https(false),
      support_domain(false) {}

Region Region::fromDictionary(Dictionary<Any> const& object) {
    Region region;
    region.id = gt::core::toLong(object.get(u"id"));
    region.is_disabled = gt::core::toBool(object.get(u"is_disabled"));
    region.label = gt::core::toString(object.get(u"label"));
    region.brief = gt::core::toString(object.get(u"brief"));
    region.support_tcp = gt::core::toBool(object.get(u"support_tcp"));
    region.support_udp = gt::core::toBool(object.get(u"support_udp"));
    region.support_http = gt::core::toBool(object.get(u"support_http"));
    region.support_https = gt::core::toBool(object.get(u"support_https"));
    region.support_domain = gt::core::toBool(object.get(u"support_domain"));
    return region;
}

}  // namespace tunnel
