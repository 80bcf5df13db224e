// The texts of the rows of the device, mapping, access-policy and member
// tables.
#include "app/RowTexts.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/Text.h"

using gt::core::DateTime;
using gt::test::str;
using gt::test::utf8;
using tunnel::Acl;
using tunnel::AclMember;
using tunnel::Forward;
using tunnel::RowTexts;

TEST(RowTexts, DeviceCells) {
    struct Case {
        int forwards;
        char const* text;
    } const cases[] = {
        {0, ""}, {-1, ""}, {INT_MIN, ""}, {1, "映射 1 条"}, {3, "映射 3 条"}, {INT_MAX, "映射 2147483647 条"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.forwards);
        EXPECT_EQ(utf8(RowTexts::deviceForwards(c.forwards)), c.text);
    }
    EXPECT_EQ(utf8(RowTexts::deviceOnline(true)), "在线");
    EXPECT_EQ(utf8(RowTexts::deviceOnline(false)), "");
}

TEST(RowTexts, MappingAddresses) {
    struct Case {
        char const* name;
        char const* protocol;
        char const* custom;
        bool website;
        char const* client;
        char const* shown;
    } const cases[] = {
        {"native port", "tcp", "", false, "192.168.1.2:3389", "demo.tcp.quorvane.example:20001"},
        {"udp", "udp", "", false, "192.168.1.2:3389", "demo.tcp.quorvane.example:20001"},
        {"website", "http", "", true, "192.168.1.2:3389", "http://demo.tcp.quorvane.example"},
        {"website with own domain", "https", "www.example.com", true, "192.168.1.2:3389",
         "https://www.example.com"},
        {"own domain of a port mapping is not shown", "tcp", "www.example.com", false, "192.168.1.2:3389",
         "demo.tcp.quorvane.example:20001"},
        {"built-in proxy", "socks5", "", false, "（内置服务）", "demo.tcp.quorvane.example:20001"},
        {"word starting like a website's", "httpx", "", true, "192.168.1.2:3389",
         "httpx://demo.tcp.quorvane.example"},
        {"capital letters", "HTTP", "", false, "192.168.1.2:3389", "demo.tcp.quorvane.example:20001"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Forward forward;
        forward.protocol = str(c.protocol);
        forward.host_prefix = u"demo";
        forward.host_domain = u"tcp.quorvane.example";
        forward.host_custom = str(c.custom);
        forward.server_port = 20001;
        forward.client_host = u"192.168.1.2";
        forward.client_port = 3389;
        EXPECT_EQ(RowTexts::isWebsite(forward.protocol), c.website);
        EXPECT_EQ(utf8(RowTexts::forwardClient(forward)), c.client);
        EXPECT_EQ(utf8(RowTexts::forwardPublic(forward)), c.shown);
    }
    Forward extreme;
    extreme.client_host = u"h";
    extreme.client_port = INT_MIN;
    extreme.server_port = INT_MAX;
    EXPECT_EQ(utf8(RowTexts::forwardClient(extreme)), "h:-2147483648");
    EXPECT_EQ(utf8(RowTexts::forwardPublic(extreme)), ".:2147483647");
}

TEST(RowTexts, PolicyCells) {
    struct Case {
        char const* name;
        char const* filter;
        char const* gateway;
        int forwards;
        char const* filterText;
        char const* gatewayText;
        char const* forwardsText;
    } const cases[] = {
        {"white list", "enabled_white", "enabled", 2, "白名单 2 条", "成员 1 个", "映射 2 条"},
        {"black list", "enabled_black", "disabled", 1, "黑名单 3 条", "不使用", "映射 1 条"},
        {"nothing", "disabled", "disabled", 0, "不限制", "不使用", "无"},
        {"unknown words", "odd-value", "ENABLED", -1, "不限制", "不使用", "无"},
        {"empty words", "", "", INT_MAX, "不限制", "不使用", "映射 2147483647 条"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Acl acl;
        acl.ip_filter = str(c.filter);
        acl.gateway = str(c.gateway);
        acl.forwards = c.forwards;
        acl.white.add(u"10.0.0.*");
        acl.white.add(u"192.168.1.1");
        acl.black.add(u"1.1.1.1");
        acl.black.add(u"2.2.2.2");
        acl.black.add(u"3.3.3.3");
        acl.members.add(AclMember());
        EXPECT_EQ(utf8(RowTexts::aclIpFilter(acl)), c.filterText);
        EXPECT_EQ(utf8(RowTexts::aclGateway(acl)), c.gatewayText);
        EXPECT_EQ(utf8(RowTexts::aclForwards(acl)), c.forwardsText);
    }
}

// Dates are local (the tests run at UTC+8).
TEST(RowTexts, MemberExpiry) {
    long long const noon = DateTime(str("2024-03-10 12:00:00")).seconds();
    long long const midnight = DateTime(str("2024-03-10 00:00:00")).seconds();
    long long const day = RowTexts::SECONDS_PER_DAY;
    struct Case {
        char const* name;
        char const* state;
        long long expire;
        long long now;
        char const* text;
    } const cases[] = {
        {"never", "enabled", 0, noon, "永不过期"},
        {"stopped", "disabled", noon + 5 * day, noon, "停用"},
        {"a second ago", "enabled", noon - 1, noon, "2024-03-10 已到期"},
        {"right now", "enabled", noon, noon, "2024-03-10 0天"},
        {"two days at midnight", "enabled", midnight + 2 * day, midnight, "2024-03-12 2天"},
        {"one and a half days", "enabled", midnight + 2 * day, noon, "2024-03-12 1天"},
        {"unknown state counts as active", "paused", midnight + 2 * day, noon, "2024-03-12 1天"},
        {"farthest expiry", "enabled", LLONG_MAX, noon, "9999-12-31 106751991147508天"},
        {"farthest expiry, clock before 1970", "enabled", LLONG_MAX, LLONG_MIN,
         "9999-12-31 213503982334601天"},
        {"earliest expiry", "enabled", LLONG_MIN, noon, "1970-01-01 已到期"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        AclMember member;
        member.state = str(c.state);
        member.expire_time = DateTime(c.expire);
        EXPECT_EQ(utf8(RowTexts::memberExpiry(member, DateTime(c.now))), c.text);
    }
}
