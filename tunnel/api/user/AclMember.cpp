#include "tunnel/api/user/AclMember.h"

using gt::core::Any;
using gt::core::Dictionary;

namespace tunnel {

AclMember::AclMember() : expire_time(0) {}

AclMember AclMember::fromDictionary(Dictionary<Any> const& object) {
    AclMember member;
    member.name = gt::core::toString(object.get(u"name"));
    member.state = gt::core::toString(object.get(u"state"));
    member.remark = gt::core::toString(object.get(u"remark"));
    member.expire_time = gt::core::DateTime(gt::core::toLong(object.get(u"expire_time")));
    return member;
}

Dictionary<Any> AclMember::toDictionary() const {
    Dictionary<Any> object;
    object.set(u"name", Any(name));
    object.set(u"pwd", Any(pwd));
    object.set(u"state", Any(state));
    object.set(u"remark", Any(remark));
    object.set(u"expire_time", Any(expire_time.seconds()));
    return object;
}

}  // namespace tunnel
