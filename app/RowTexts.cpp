#include "app/RowTexts.h"

#include "gt/core/lang/Integer.h"
#include "gt/core/lang/Long.h"

using gt::core::DateTime;
using gt::core::String;

namespace tunnel {

namespace {

String count(char16_t const* before, long long n, char16_t const* after) {
    return String(before) + gt::core::Long(n).toString() + after;
}

}  // namespace

String RowTexts::deviceForwards(int forwards) {
    return forwards > 0 ? count(u"映射 ", forwards, u" 条") : String();
}

String RowTexts::deviceOnline(bool online) { return online ? String(u"在线") : String(); }

bool RowTexts::isWebsite(String const& protocol) { return protocol.left(4) == String(u"http"); }

String RowTexts::forwardClient(Forward const& forward) {
    if (forward.protocol == String(u"socks5")) return u"（内置服务）";
    return forward.client_host + u":" + gt::core::Integer(forward.client_port).toString();
}

String RowTexts::forwardPublic(Forward const& forward) {
    String const named = forward.host_prefix + u"." + forward.host_domain;
    if (isWebsite(forward.protocol))
        return forward.protocol + u"://" + (forward.host_custom.isEmpty() ? named : forward.host_custom);
    return named + u":" + gt::core::Integer(forward.server_port).toString();
}

String RowTexts::aclIpFilter(Acl const& acl) {
    if (acl.ip_filter == Acl::ENABLED_WHITE) return count(u"白名单 ", acl.white.count(), u" 条");
    if (acl.ip_filter == Acl::ENABLED_BLACK) return count(u"黑名单 ", acl.black.count(), u" 条");
    return u"不限制";
}

String RowTexts::aclGateway(Acl const& acl) {
    if (acl.gateway == Acl::ENABLED) return count(u"成员 ", acl.members.count(), u" 个");
    return u"不使用";
}

String RowTexts::aclForwards(Acl const& acl) {
    if (acl.forwards >= 1) return count(u"映射 ", acl.forwards, u" 条");
    return u"无";
}

String RowTexts::memberExpiry(AclMember const& member, DateTime now) {
    if (member.state == Acl::DISABLED) return u"停用";
    long long const expire = member.expire_time.seconds();
    if (expire == 0) return u"永不过期";
    String const date = member.expire_time.toDateString();
    if (expire < now.seconds()) return date + u" 已到期";
    // Both ends come from outside (the cloud, the clock): the difference is
    // taken without the chance of overflow.
    unsigned long long const ahead =
        static_cast<unsigned long long>(expire) - static_cast<unsigned long long>(now.seconds());
    return date + u" " + gt::core::Long(static_cast<long long>(ahead / SECONDS_PER_DAY)).toString() + u"天";
}

}  // namespace tunnel
