#include "tunnel/util/NatAcl.h"

#include "gt/core/lang/Fatal.h"
#include "gt/core/util/MD5.h"
#include "gt/core/util/Strings.h"
#include "tunnel/util/Wildcard.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::DateTime;
using gt::core::Dictionary;
using gt::core::String;

namespace tunnel {

namespace {

// The patterns of one list text: split at ";", each trimmed of blanks, empty
// ones dropped.
Array<String> _patterns(String const& text) {
    gt::core::Strings pieces(text, u";");
    Array<String> out;
    out.reserve(pieces.count());
    for (String& piece : pieces) {
        piece.trim();
        if (!piece.isEmpty()) out.add(std::move(piece));
    }
    return out;
}

}  // namespace

NatAcl::NatAcl() : gateway(false), whiteList(false) {}

NatAcl NatAcl::parse(Dictionary<Any> const& policy) {
    NatAcl acl;
    acl.gateway = gt::core::toString(policy.get(u"gateway")) == u"enabled";

    Any const& members = policy.get(u"members");
    if (members.is<Array<Any> >()) {
        for (Any const& element : members.cast<Array<Any> >()) {
            if (!element.is<Dictionary<Any> >()) continue;
            Dictionary<Any> const& entry = element.cast<Dictionary<Any> >();
            if (gt::core::toString(entry.get(u"state")) != u"enabled") continue;
            NatAclMember member;
            member.name = gt::core::toString(entry.get(u"name"));
            member.pwd = gt::core::toString(entry.get(u"pwd"));
            member.expireTime = DateTime(gt::core::toLong(entry.get(u"expire_time")));
            acl.members.add(std::move(member));
        }
    }

    String const filter = gt::core::toString(policy.get(u"ip_filter"));
    bool const white = filter == u"enabled_white";
    if (white || filter == u"enabled_black") {
        // A white list is in force as soon as it is asked for: when the
        // addresses are missing it refuses everybody instead of nobody.
        acl.whiteList = white;
        Any const& ip = policy.get(u"ip");
        if (ip.is<Dictionary<Any> >()) {
            acl.ipList =
                _patterns(gt::core::toString(ip.cast<Dictionary<Any> >().get(white ? u"white" : u"black")));
        }
    }
    return acl;
}

bool NatAcl::allows(String const& dottedAddress) const {
    for (String const& pattern : ipList) {
        if (wildcardMatch(dottedAddress, pattern)) return whiteList;
    }
    return !whiteList;
}

NatAclMember const* NatAcl::checkMember(String const& name, String const& password, String* reason) const {
    GT_ASSERT(reason);
    for (NatAclMember const& member : members) {
        if (member.name != name) continue;
        if (member.pwd != gt::core::md5Hex(password.toBinary())) {
            *reason = u"Invalid password";
            return nullptr;
        }
        if (member.expireTime.seconds() != 0 && !(DateTime::now().seconds() < member.expireTime.seconds())) {
            *reason = u"Expired";
            return nullptr;
        }
        return &member;
    }
    *reason = u"Invalid name";
    return nullptr;
}

}  // namespace tunnel
