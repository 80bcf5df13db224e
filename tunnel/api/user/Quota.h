// One set of quota values (what is used, or the limit).
#pragma once

#include "gt/core/util/Any.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

class Quota {
public:
    // All zero.
    Quota();

    // The seven keys of the field names; absent keys read as 0.
    static Quota fromDictionary(gt::core::Dictionary<gt::core::Any> const& object);

    int forward;
    int bandwidth;
    int https;
    int domain;
    long long traffic_free;
    long long traffic_paid;
    int bandwidth_float;
};

}  // namespace tunnel
