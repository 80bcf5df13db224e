#include "tunnel/api/user/Forward.h"

using gt::core::Any;
using gt::core::Dictionary;

namespace tunnel {

Forward::Forward()
    : id(-1),
      is_disabled(false),
      device_id(-1),
      node_id(-1),
      server_port(0),
      client_port(0),
      bandwidth(0),
      acl_id(-1) {}

Forward Forward::fromDictionary(Dictionary<Any> const& object) {
    Forward f;
    f.id = gt::core::toLong(object.get(u"id"));
    f.is_disabled = gt::core::toBool(object.get(u"is_disabled"));
    f.device_id = gt::core::toLong(object.get(u"device_id"));
    f.node_id = gt::core::toLong(object.get(u"node_id"));
    f.label = gt::core::toString(object.get(u"label"));
    f.protocol = gt::core::toString(object.get(u"protocol"));
    f.host_prefix = gt::core::toString(object.get(u"host_prefix"));
    f.host_domain = gt::core::toString(object.get(u"host_domain"));
    f.host_custom = gt::core::toString(object.get(u"host_custom"));
    f.server_port = gt::core::toInt(object.get(u"server_port"));
    f.client_host = gt::core::toString(object.get(u"client_host"));
    f.client_port = gt::core::toInt(object.get(u"client_port"));
    f.bandwidth = gt::core::toInt(object.get(u"bandwidth"));
    f.acl_id = gt::core::toLong(object.get(u"acl_id"));
    if (f.acl_id <= 0) f.acl_id = -1;
    f.tip = gt::core::toString(object.get(u"tip"));
    f.region_label = gt::core::toString(object.get(u"region_label"));
    return f;
}

}  // namespace tunnel
