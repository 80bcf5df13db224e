#include "tunnel/api/user/Plan.h"

using gt::core::Any;
using gt::core::Dictionary;

namespace tunnel {

Plan::Plan() : forward(0), bandwidth(0), domain(0), remain(0) {}

Plan Plan::fromDictionary(Dictionary<Any> const& object) {
    Plan plan;
    plan.remain = gt::core::DateTime(gt::core::toLong(object.get(u"remain")));
    Any const& fields = object.get(u"fields");
    if (fields.is<Dictionary<Any> >()) {
        Dictionary<Any> const& counts = fields.cast<Dictionary<Any> >();
        plan.forward = gt::core::toInt(counts.get(u"forward"));
        plan.bandwidth = gt::core::toInt(counts.get(u"bandwidth"));
        plan.domain = gt::core::toInt(counts.get(u"domain"));
    }
    return plan;
}

}  // namespace tunnel
