// The logged-in user.
#pragma once

#include "gt/core/lang/String.h"

namespace tunnel {

class User {
public:
    User();

    long long id;
    gt::core::String name;
    // The telephone number, partly hidden by the cloud.
    gt::core::String phone_part;
};

}  // namespace tunnel
