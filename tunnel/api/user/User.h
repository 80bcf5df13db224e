// The logged-in user.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

class User {
public:
    User();

    // The "user" object of the account query.
    static User fromDictionary(gt::core::Dictionary<gt::core::Any> const& object);

    long long id;
    gt::core::String name;
    // The telephone number, partly hidden by the cloud.
    gt::core::String phone_part;
};

}  // namespace tunnel
