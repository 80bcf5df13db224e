#include "tunnel/util/NatAcl.h"

#include <gtest/gtest.h>

#include <string>

#include "gt/core/util/MD5.h"
#include "support/Text.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::DateTime;
using gt::core::Dictionary;
using gt::core::String;
using gt::test::utf8;
using tunnel::NatAcl;

namespace {

Dictionary<Any> ipPolicy(String const& filter, String const& white, String const& black) {
    Dictionary<Any> ip;
    ip.set(u"white", Any(white));
    ip.set(u"black", Any(black));
    Dictionary<Any> policy;
    policy.set(u"ip_filter", Any(filter));
    policy.set(u"ip", Any(ip));
    return policy;
}

Dictionary<Any> member(String const& name, String const& password, String const& state, long long expire) {
    Dictionary<Any> m;
    m.set(u"name", Any(name));
    m.set(u"pwd", Any(gt::core::md5Hex(password.toBinary())));
    m.set(u"state", Any(state));
    if (expire >= 0) m.set(u"expire_time", Any(expire));
    return m;
}

Dictionary<Any> gatewayPolicy(Array<Any> const& members) {
    Dictionary<Any> policy;
    policy.set(u"gateway", Any(String(u"enabled")));
    policy.set(u"members", Any(members));
    return policy;
}

}  // namespace

TEST(NatAclTest, EmptyPolicyLetsEveryoneInWithoutLogin) {
    NatAcl acl = NatAcl::parse(Dictionary<Any>());
    EXPECT_FALSE(acl.gateway);
    EXPECT_TRUE(acl.members.isEmpty());
    EXPECT_TRUE(acl.ipList.isEmpty());
    EXPECT_FALSE(acl.whiteList);
    EXPECT_TRUE(acl.allows(u"1.2.3.4"));
}

TEST(NatAclTest, WhiteListKeepsTextOrder) {
    NatAcl acl = NatAcl::parse(ipPolicy(u"enabled_white", u"1.2.3.*;10.0.0.1", u"9.9.9.9"));
    ASSERT_EQ(acl.ipList.count(), 2);
    EXPECT_EQ(acl.ipList[0], String(u"1.2.3.*"));
    EXPECT_EQ(acl.ipList[1], String(u"10.0.0.1"));
    EXPECT_TRUE(acl.whiteList);
}

TEST(NatAclTest, FilterDecisions) {
    struct Case {
        char16_t const* filter;
        char16_t const* white;
        char16_t const* black;
        char16_t const* peer;
        bool allowed;
    } const cases[] = {
        {u"enabled_white", u"10.0.*", u"", u"10.0.3.4", true},
        {u"enabled_white", u"10.0.*", u"", u"10.1.0.1", false},
        {u"enabled_white", u"1.2.3.?;10.0.0.1", u"", u"10.0.0.1", true},
        {u"enabled_black", u"", u"5.6.7.8", u"5.6.7.8", false},
        {u"enabled_black", u"", u"5.6.7.8", u"5.6.7.9", true},
        {u"enabled_black", u"5.6.7.9", u"", u"5.6.7.9", true},  // the white text is not read
        {u"Enabled_White", u"10.0.*", u"", u"1.1.1.1", true},   // case matters: no filter
        // Blanks around entries and empty entries do not hide an address.
        {u"enabled_white", u" 1.2.3.4 ;;", u"", u"1.2.3.4", true},
        {u"enabled_black", u"", u";\t5.6.7.8", u"5.6.7.8", false},
        // A white list without a single address refuses everybody.
        {u"enabled_white", u"", u"", u"1.2.3.4", false},
        {u"enabled_white", u" ; ", u"", u"1.2.3.4", false},
        // An empty black list refuses nobody.
        {u"enabled_black", u"", u"", u"1.2.3.4", true},
    };
    for (Case const& c : cases) {
        NatAcl acl = NatAcl::parse(ipPolicy(c.filter, c.white, c.black));
        EXPECT_EQ(acl.allows(c.peer), c.allowed) << utf8(c.filter) << " " << utf8(c.peer);
    }
}

TEST(NatAclTest, WhiteFilterWithoutAddressListFailsClosed) {
    Dictionary<Any> policy;
    policy.set(u"ip_filter", Any(String(u"enabled_white")));
    NatAcl acl = NatAcl::parse(policy);
    EXPECT_TRUE(acl.whiteList);
    EXPECT_TRUE(acl.ipList.isEmpty());
    EXPECT_FALSE(acl.allows(u"1.2.3.4"));

    policy.set(u"ip", Any(String(u"1.2.3.4")));  // not a dictionary
    EXPECT_FALSE(NatAcl::parse(policy).allows(u"1.2.3.4"));

    // A black filter without a list is no filter.
    policy.set(u"ip_filter", Any(String(u"enabled_black")));
    EXPECT_TRUE(NatAcl::parse(policy).allows(u"1.2.3.4"));
}

TEST(NatAclTest, MembersAreEnabledOnesInArrayOrder) {
    Array<Any> members;
    members.add(Any(member(u"ann", u"a", u"enabled", 0)));
    members.add(Any(member(u"bob", u"b", u"disabled", 0)));
    members.add(Any(String(u"not a dictionary")));
    members.add(Any(member(u"cid", u"c", u"enabled", -1)));
    NatAcl acl = NatAcl::parse(gatewayPolicy(members));
    EXPECT_TRUE(acl.gateway);
    ASSERT_EQ(acl.members.count(), 2);
    EXPECT_EQ(acl.members[0].name, String(u"ann"));
    EXPECT_EQ(acl.members[1].name, String(u"cid"));
    EXPECT_EQ(acl.members[1].expireTime.seconds(), 0);
    EXPECT_EQ(acl.members[0].pwd, gt::core::md5Hex(String(u"a").toBinary()));

    Dictionary<Any> noGateway = gatewayPolicy(members);
    noGateway.set(u"gateway", Any(String(u"Enabled")));
    EXPECT_FALSE(NatAcl::parse(noGateway).gateway);
    noGateway.set(u"members", Any(String(u"x")));
    EXPECT_TRUE(NatAcl::parse(noGateway).members.isEmpty());
}

TEST(NatAclTest, MemberCheck) {
    long long const now = DateTime::now().seconds();
    Array<Any> members;
    members.add(Any(member(u"ann", u"secret", u"enabled", 0)));
    members.add(Any(member(u"ann", u"other", u"enabled", 0)));  // shadowed by the first
    members.add(Any(member(u"old", u"pw", u"enabled", now - 1)));
    members.add(Any(member(u"new", u"pw", u"enabled", now + 3600)));
    members.add(Any(member(u"off", u"pw", u"disabled", 0)));
    members.add(
        Any(member(String::fromUtf8("\xe5\xbc\xa0"), String::fromUtf8("\xe5\xaf\x86"), u"enabled", 0)));
    NatAcl acl = NatAcl::parse(gatewayPolicy(members));

    struct Case {
        String name;
        String password;
        char16_t const* reason;  // null: accepted
    } const cases[] = {
        {u"ann", u"secret", nullptr},
        {u"ann", u"other", u"Invalid password"},
        {u"Ann", u"secret", u"Invalid name"},
        {u"old", u"pw", u"Expired"},
        {u"new", u"pw", nullptr},
        {u"off", u"pw", u"Invalid name"},
        {u"", u"", u"Invalid name"},
        {String::fromUtf8("\xe5\xbc\xa0"), String::fromUtf8("\xe5\xaf\x86"), nullptr},
    };
    for (Case const& c : cases) {
        String reason;
        tunnel::NatAclMember const* found = acl.checkMember(c.name, c.password, &reason);
        if (c.reason) {
            EXPECT_EQ(found, nullptr) << utf8(c.name);
            EXPECT_EQ(reason, String(c.reason)) << utf8(c.name);
        } else {
            ASSERT_NE(found, nullptr) << utf8(c.name);
            EXPECT_EQ(found->name, c.name);
        }
    }
}
