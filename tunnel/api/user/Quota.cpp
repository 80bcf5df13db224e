#include "tunnel/api/user/Quota.h"

using gt::core::Any;
using gt::core::Dictionary;

namespace tunnel {

Quota::Quota()
    : forward(0), bandwidth(0), https(0), domain(0), traffic_free(0), traffic_paid(0), bandwidth_float(0) {}

Quota Quota::fromDictionary(Dictionary<Any> const& object) {
    Quota quota;
    quota.forward = gt::core::toInt(object.get(u"forward"));
    quota.bandwidth = gt::core::toInt(object.get(u"bandwidth"));
    quota.https = gt::core::toInt(object.get(u"https"));
    quota.domain = gt::core::toInt(object.get(u"domain"));
    quota.traffic_free = gt::core::toLong(object.get(u"traffic_free"));
    quota.traffic_paid = gt::core::toLong(object.get(u"traffic_paid"));
    quota.bandwidth_float = gt::core::toInt(object.get(u"bandwidth_float"));
    return quota;
}

}  // namespace tunnel
