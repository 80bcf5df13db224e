// One gateway member account of an access policy.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/DateTime.h"

namespace tunnel {

class AclMember {
public:
    AclMember();

    gt::core::String name;
    // MD5 of the password as 32 lower-case hex digits; empty: unchanged.
    gt::core::String pwd;
    gt::core::String state;
    gt::core::String remark;
    // 0: never expires.
    gt::core::DateTime expire_time;
};

}  // namespace tunnel
