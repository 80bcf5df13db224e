#include <gtest/gtest.h>

#include "support/CloudSupport.h"
#include "tunnel/api/user/Acl.h"
#include "tunnel/api/user/Device.h"
#include "tunnel/api/user/Forward.h"
#include "tunnel/api/user/Node.h"
#include "tunnel/api/user/Plan.h"
#include "tunnel/api/user/Quota.h"
#include "tunnel/api/user/Region.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;
using gt::test::utf8;

namespace {

Dictionary<Any> object(std::string const& json) {
    Dictionary<Any> d;
    EXPECT_TRUE(gt::core::JSON::decode(gt::test::str(json), &d)) << json;
    return d;
}

TEST(Records, BlankRecordsHoldMinusOneIdsAndZeros) {
    tunnel::Forward forward;
    EXPECT_EQ(forward.id, -1);
    EXPECT_EQ(forward.device_id, -1);
    EXPECT_EQ(forward.node_id, -1);
    EXPECT_EQ(forward.acl_id, -1);
    EXPECT_EQ(forward.client_port, 0);
    EXPECT_FALSE(forward.is_disabled);
    EXPECT_EQ(tunnel::Device().user_id, -1);
    EXPECT_EQ(tunnel::Region().id, -1);
    EXPECT_EQ(tunnel::Node().id, -1);
    EXPECT_EQ(tunnel::Acl().id, -1);
    EXPECT_EQ(tunnel::Plan().remain.seconds(), 0);
    EXPECT_EQ(tunnel::Quota().traffic_paid, 0);
}

TEST(Records, ForwardReadsEveryKeyAndMapsNoPolicyToMinusOne) {
    struct Case {
        char const* aclId;
        long long expected;
    };
    Case const cases[] = {{"0", -1}, {"-3", -1}, {"null", -1}, {"\"12\"", 12}, {"7", 7}, {nullptr, -1}};
    for (Case const& c : cases) {
        std::string json = "{\"client_port\":\"8080\",\"protocol\":\"tcp\",\"server_port\":20001";
        if (c.aclId) json += std::string(",\"acl_id\":") + c.aclId;
        json += "}";
        tunnel::Forward forward = tunnel::Forward::fromDictionary(object(json));
        EXPECT_EQ(forward.acl_id, c.expected) << json;
        EXPECT_EQ(forward.id, 0);  // absent reads as 0, not blank
        EXPECT_EQ(forward.client_port, 8080);
        EXPECT_EQ(forward.server_port, 20001);
        EXPECT_EQ(utf8(forward.protocol), "tcp");
    }
}

TEST(Records, PolicyListsSplitAsGivenAndWriteBackTheSameText) {
    struct Case {
        char const* ip;
        int white;
        int black;
        char const* whiteText;
    };
    Case const cases[] = {
        {"{\"white\":\"1.1.1.1;2.2.2.*\",\"black\":\"\"}", 2, 0, "1.1.1.1;2.2.2.*"},
        {"{\"white\":\"a;;b;\",\"black\":\"c\"}", 4, 1, "a;;b;"},
        {"\"1.1.1.1\"", 0, 0, ""},
        {"[\"1.1.1.1\"]", 0, 0, ""},
        {"null", 0, 0, ""},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.ip);
        tunnel::Acl acl = tunnel::Acl::fromDictionary(object(std::string("{\"id\":3,\"ip\":") + c.ip + "}"));
        EXPECT_EQ(acl.white.count(), c.white);
        EXPECT_EQ(acl.black.count(), c.black);
        Dictionary<Any> written = acl.toDictionary();
        Dictionary<Any> const& ip = written.get(u"ip").cast<Dictionary<Any> >();
        EXPECT_EQ(utf8(ip.get(u"white").cast<String>()), c.whiteText);
    }
}

TEST(Records, PolicyMembersNeverTakeThePasswordAndWriteAllEightKeys) {
    tunnel::Acl acl = tunnel::Acl::fromDictionary(object(
        "{\"id\":5,\"label\":\"L\",\"ip_filter\":\"odd-value\",\"gateway\":\"enabled\",\"create_time\":"
        "1700000000,"
        "\"forwards\":2,\"members\":[7,{\"name\":\"bob\",\"pwd\":\"secret-digest\",\"state\":\"enabled\","
        "\"expire_time\":null},{\"name\":\"amy\",\"expire_time\":1800000000}]}"));
    ASSERT_EQ(acl.members.count(), 2);
    EXPECT_TRUE(acl.members[0].pwd.isEmpty());
    EXPECT_EQ(acl.members[0].expire_time.seconds(), 0);
    EXPECT_EQ(acl.members[1].expire_time.seconds(), 1800000000);
    EXPECT_EQ(acl.forwards, 2);

    Dictionary<Any> written = acl.toDictionary();
    EXPECT_EQ(written.count(), 8);
    EXPECT_EQ(utf8(written.get(u"ip_filter").cast<String>()), "odd-value");
    EXPECT_EQ(written.get(u"create_time").cast<long long>(), 1700000000LL);
    Array<Any> const& members = written.get(u"members").cast<Array<Any> >();
    ASSERT_EQ(members.count(), 2);
    Dictionary<Any> const& bob = members[0].cast<Dictionary<Any> >();
    EXPECT_EQ(bob.get(u"expire_time").cast<long long>(), 0LL);  // never null
    EXPECT_EQ(utf8(bob.get(u"pwd").cast<String>()), "");
    EXPECT_EQ(bob.count(), 5);
}

TEST(Records, PlanCountsComeFromItsFieldsObject) {
    tunnel::Plan plan =
        tunnel::Plan::fromDictionary(object("{\"remain\":86400,\"fields\":\"x\",\"forward\":9}"));
    EXPECT_EQ(plan.remain.seconds(), 86400);
    EXPECT_EQ(plan.forward, 0);
    plan = tunnel::Plan::fromDictionary(object("{\"fields\":{\"forward\":3,\"bandwidth\":2,\"domain\":1}}"));
    EXPECT_EQ(plan.forward, 3);
    EXPECT_EQ(plan.bandwidth, 2);
    EXPECT_EQ(plan.domain, 1);
}

}  // namespace
