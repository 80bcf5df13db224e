// One access policy: address filter lists and gateway member accounts.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/DateTime.h"
#include "gt/core/util/Dictionary.h"
#include "tunnel/api/user/AclMember.h"

namespace tunnel {

class Acl {
public:
    // The words of ip_filter and gateway on the wire (a filter or gateway
    // word the client does not know reads as off); a member's state is
    // ENABLED or DISABLED too.
    static char16_t const* const DISABLED;       // "disabled": no filter, no gateway, member stopped
    static char16_t const* const ENABLED;        // "enabled": gateway on, member active
    static char16_t const* const ENABLED_WHITE;  // "enabled_white": only the white list may connect
    static char16_t const* const ENABLED_BLACK;  // "enabled_black": the black list may not connect

    // The blank record; id -1 marks a policy not yet created.
    Acl();
    ~Acl();
    Acl(Acl const&) = default;
    Acl& operator=(Acl const&) = default;

    // One object of the API's "acls" list. Member passwords are never taken
    // over (pwd stays empty).
    static Acl fromDictionary(gt::core::Dictionary<gt::core::Any> const& object);
    // The "acl" parameter of the create and modify calls: always the eight
    // keys id, label, ip_filter, gateway, create_time, ip, members, forwards.
    gt::core::Dictionary<gt::core::Any> toDictionary() const;
    // {"white": white joined by ";", "black": black joined by ";"}.
    static gt::core::Dictionary<gt::core::Any> ipToDictionary(gt::core::Array<gt::core::String> const& white,
                                                              gt::core::Array<gt::core::String> const& black);

    long long id;
    gt::core::String label;
    gt::core::String ip_filter;
    gt::core::String gateway;
    gt::core::DateTime create_time;
    gt::core::Array<gt::core::String> white;
    gt::core::Array<gt::core::String> black;
    gt::core::Array<AclMember> members;
    int forwards;
};

}  // namespace tunnel
