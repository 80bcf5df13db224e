// What a row of the client's tables says: the device list, the mapping
// list, the access-policy list and a policy's member list. The pages only
// put these texts into their cells.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/DateTime.h"
#include "tunnel/api/user/Acl.h"
#include "tunnel/api/user/AclMember.h"
#include "tunnel/api/user/Forward.h"

namespace tunnel {

class RowTexts {
public:
    static constexpr long long SECONDS_PER_DAY = 86400;

    // Device list, "资源使用": "映射 <n> 条"; empty for none (or a count
    // below 0).
    static gt::core::String deviceForwards(int forwards);
    // Device list, "状态": "在线", or empty.
    static gt::core::String deviceOnline(bool online);

    // Whether a mapping's protocol is a website's ("http", "https"): it is
    // reached by name, without a port.
    static bool isWebsite(gt::core::String const& protocol);
    // Mapping list, "内网地址": host:port, or "（内置服务）" for the
    // service's own proxy ("socks5").
    static gt::core::String forwardClient(Forward const& forward);
    // Mapping list, "公网地址", also what the copy puts on the clipboard: a
    // website's protocol://host (the own domain when there is one, else
    // prefix.domain), any other prefix.domain:port.
    static gt::core::String forwardPublic(Forward const& forward);

    // Access-policy list, "地址授权": "白名单 <n> 条", "黑名单 <n> 条", or
    // "不限制" for any other filter word.
    static gt::core::String aclIpFilter(Acl const& acl);
    // Access-policy list, "网关授权": "成员 <n> 个", or "不使用".
    static gt::core::String aclGateway(Acl const& acl);
    // Access-policy list, "有效加载": "映射 <n> 条", or "无".
    static gt::core::String aclForwards(Acl const& acl);

    // Member list, "到期时间": "停用" for a stopped member, "永不过期" for
    // expiry 0, else the local date and "已到期" once past, or the whole
    // days left and "天".
    static gt::core::String memberExpiry(AclMember const& member, gt::core::DateTime now);
};

}  // namespace tunnel
