// One gateway member account of an access policy.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/DateTime.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

class AclMember {
public:
    AclMember();

    // One element of a policy's "members" list. The cloud's password digest
    // is never taken over: pwd stays empty (unchanged).
    static AclMember fromDictionary(gt::core::Dictionary<gt::core::Any> const& object);
    // The five keys name, pwd, state, remark and expire_time (seconds, 0 for
    // never, never null).
    gt::core::Dictionary<gt::core::Any> toDictionary() const;

    gt::core::String name;
    // MD5 of the password as 32 lower-case hex digits; empty: unchanged.
    gt::core::String pwd;
    gt::core::String state;
    gt::core::String remark;
    // 0: never expires.
    gt::core::DateTime expire_time;
};

}  // namespace tunnel
