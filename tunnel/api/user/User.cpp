#include "tunnel/api/user/User.h"

using gt::core::Any;
using gt::core::Dictionary;

namespace tunnel {

User::User() : id(-1) {}

User User::fromDictionary(Dictionary<Any> const& object) {
    User user;
    user.id = gt::core::toLong(object.get(u"id"));
    user.name = gt::core::toString(object.get(u"name"));
    user.phone_part = gt::core::toString(object.get(u"phone_part"));
    return user;
}

}  // namespace tunnel
