// Access policy of one forward in the compact form that the forwarder and the
// forward clients read: an IP filter (white or black list of address patterns)
// and the gateway login with its member accounts.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/DateTime.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

// One gateway member account.
class NatAclMember {
public:
    gt::core::String name;
    // MD5 digest of the password as 32 lower-case hexadecimal digits.
    gt::core::String pwd;
    // Expiry; 0 (the epoch) means the member never expires.
    gt::core::DateTime expireTime;
};

class NatAcl {
public:
    // The default policy: no gateway login, no members, no IP filter.
    NatAcl();

    // Builds the record from the policy dictionary of a forward ("gateway",
    // "members", "ip_filter", "ip"). Never fails: missing keys and values of
    // the wrong kind switch the feature off. A white list that names no
    // address refuses everybody; list entries are trimmed of blanks and empty
    // entries are dropped.
    static NatAcl parse(gt::core::Dictionary<gt::core::Any> const& policy);

    // IP filter on the peer's dotted address: with a white list the peer
    // passes only when an entry matches; with a black list (or no filter) it
    // passes unless an entry matches. The first matching entry decides.
    bool allows(gt::core::String const& dottedAddress) const;

    // Gateway login check. The first member with exactly this name decides:
    // its pwd must equal the MD5 hex of the password's UTF-8 bytes and it must
    // not have expired. Returns the member, or null with *reason set to
    // "Invalid name", "Invalid password" or "Expired". reason must not be null.
    NatAclMember const* checkMember(gt::core::String const& name, gt::core::String const& password,
                                    gt::core::String* reason) const;

    bool gateway;
    gt::core::Array<NatAclMember> members;
    // The address patterns of the active list, in the order of the text.
    gt::core::Array<gt::core::String> ipList;
    // True for a white list; false for a black list or no filter.
    bool whiteList;
};

}  // namespace tunnel
