// The account's plan: its counts and the time left.
#pragma once

#include "gt/core/util/Any.h"
#include "gt/core/util/DateTime.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

class Plan {
public:
    // All zero.
    Plan();

    // "remain" from the plan object; the counts from its "fields" object,
    // 0 when that is not an object.
    static Plan fromDictionary(gt::core::Dictionary<gt::core::Any> const& object);

    int forward;
    int bandwidth;
    int domain;
    // Plan time left in seconds; 0 or less: no plan.
    gt::core::DateTime remain;
};

}  // namespace tunnel
