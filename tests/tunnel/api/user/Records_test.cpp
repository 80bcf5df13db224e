#include <gtest/gtest.h>

#include "support/CloudSupport.h"
#include "tunnel/api/user/Acl.h"
#include "tunnel/api/user/Device.h"
#include "tunnel/api/user/Forward.h"
#include "tunnel/api/user/Node.h"
#include "tunnel/api/user/Plan.h"
#include "tunnel/api/user/Quota.h"
#include "tunnel/api/user/Region.h"
#include "tunnel/api/user/User.h"

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

// Every field kind read from every kind of JSON value: a record is always
// complete, whatever the cloud sends.
TEST(Records, FieldsReadLenientlyFromAnyValue) {
    struct Case {
        char const* json;
        long long id;      // 64-bit field
        int port;          // 32-bit field
        bool online;       // bool field
        char const* text;  // text field
    } const cases[] = {
        {nullptr, 0, 0, false, ""},
        {"null", 0, 0, false, ""},
        {"{\"a\":1}", 0, 0, false, ""},
        {"[1]", 0, 0, false, ""},
        {"true", 1, 1, true, "true"},
        {"false", 0, 0, false, "false"},
        {"1", 1, 1, true, "1"},
        {"0", 0, 0, false, "0"},
        {"-5", -5, -5, true, "-5"},
        {"\"TRUE\"", 0, 0, true, "TRUE"},
        {"\"yes\"", 0, 0, false, "yes"},
        {"\"8080\"", 8080, 8080, false, "8080"},
        {"4294967297", 4294967297LL, 1, true, "4294967297"},
        {"\"中文\"", 0, 0, false, "中文"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.json ? c.json : "(missing)");
        std::string json = "{\"other\":7";
        for (char const* key : {"id", "client_port", "is_online", "label", "version", "login_ip"}) {
            if (c.json) json += std::string(",\"") + key + "\":" + c.json;
        }
        json += "}";
        Dictionary<Any> const fields = object(json);
        tunnel::Forward const forward = tunnel::Forward::fromDictionary(fields);
        EXPECT_EQ(forward.id, c.id);
        EXPECT_EQ(forward.client_port, c.port);
        EXPECT_EQ(utf8(forward.label), c.text);
        tunnel::Device const device = tunnel::Device::fromDictionary(fields);
        EXPECT_EQ(device.id, c.id);
        EXPECT_EQ(device.is_online, c.online);
        EXPECT_EQ(utf8(device.version), c.text);
        EXPECT_EQ(utf8(device.login_ip), c.text);
        EXPECT_EQ(device.user_id, 0);  // read, though absent: not the blank -1
    }
}

TEST(Records, EachRecordReadsItsOwnKeys) {
    tunnel::Device const device = tunnel::Device::fromDictionary(object(
        "{\"id\":10,\"is_disabled\":false,\"user_id\":1,\"label\":\"demo\",\"create_ip\":\"10.0.0.1\","
        "\"create_time\":1700000000,\"login_ip\":\"10.0.0.2\",\"is_online\":true,\"version\":\"2.0.7\","
        "\"forwards\":3,\"token\":\"never-kept\"}"));
    EXPECT_EQ(device.id, 10);
    EXPECT_EQ(device.user_id, 1);
    EXPECT_EQ(utf8(device.label), "demo");
    EXPECT_EQ(utf8(device.create_ip), "10.0.0.1");
    EXPECT_EQ(device.create_time.seconds(), 1700000000);
    EXPECT_EQ(utf8(device.login_ip), "10.0.0.2");
    EXPECT_TRUE(device.is_online);
    EXPECT_EQ(utf8(device.version), "2.0.7");
    EXPECT_EQ(device.forwards, 3);

    tunnel::Region const region = tunnel::Region::fromDictionary(
        object("{\"id\":2,\"label\":\"华东\",\"brief\":\"b\",\"support_tcp\":true,\"support_udp\":\"True\","
               "\"support_http\":0,\"support_https\":1,\"support_domain\":\"1\",\"is_disabled\":\"false\"}"));
    EXPECT_EQ(region.id, 2);
    EXPECT_EQ(utf8(region.label), "华东");
    EXPECT_EQ(utf8(region.brief), "b");
    EXPECT_TRUE(region.support_tcp);
    EXPECT_TRUE(region.support_udp);
    EXPECT_FALSE(region.support_http);
    EXPECT_TRUE(region.support_https);
    EXPECT_FALSE(region.support_domain);  // a text counts only as "true"
    EXPECT_FALSE(region.is_disabled);

    tunnel::Node node = tunnel::Node::fromDictionary(
        object("{\"id\":4,\"servers\":[\"a:1\",2,null,\"b:3\"],\"domains\":\"x.example\"}"));
    EXPECT_EQ(node.id, 4);
    ASSERT_EQ(node.servers.count(), 4);
    EXPECT_EQ(utf8(node.servers[1]), "2");
    EXPECT_EQ(utf8(node.servers[2]), "");
    EXPECT_EQ(utf8(node.servers[3]), "b:3");
    EXPECT_EQ(node.domains.count(), 0);

    tunnel::User const user = tunnel::User::fromDictionary(
        object("{\"id\":\"12\",\"name\":\"8613800000000\",\"phone_part\":null}"));
    EXPECT_EQ(user.id, 12);
    EXPECT_EQ(utf8(user.name), "8613800000000");
    EXPECT_TRUE(user.phone_part.isEmpty());
    EXPECT_EQ(tunnel::User().id, -1);

    tunnel::Quota const quota = tunnel::Quota::fromDictionary(
        object("{\"forward\":1,\"bandwidth\":2,\"https\":3,\"domain\":4,\"traffic_free\":5368709120,"
               "\"traffic_paid\":\"6\",\"bandwidth_float\":7}"));
    EXPECT_EQ(quota.forward, 1);
    EXPECT_EQ(quota.bandwidth, 2);
    EXPECT_EQ(quota.https, 3);
    EXPECT_EQ(quota.domain, 4);
    EXPECT_EQ(quota.traffic_free, 5368709120LL);
    EXPECT_EQ(quota.traffic_paid, 6);
    EXPECT_EQ(quota.bandwidth_float, 7);
}

// A policy written for the cloud and read back is the same policy, but for
// the member passwords, which are sent and never taken back.
TEST(Records, PolicyRoundTripThroughJsonText) {
    tunnel::Acl acl;
    acl.id = -1;
    acl.label = u"办公室";
    acl.ip_filter = u"enabled_white";
    acl.gateway = u"enabled";
    acl.create_time = gt::core::DateTime(1700000000);
    acl.white.add(u"10.0.0.*");
    acl.white.add(u"");
    acl.white.add(u"192.168.1.1");
    tunnel::AclMember member;
    member.name = u"amy";
    member.pwd = u"0cc175b9c0f1b6a831c399e269772661";
    member.state = u"disabled";
    member.remark = u"a;b";
    member.expire_time = gt::core::DateTime(1800000000);
    acl.members.add(member);
    acl.members.add(tunnel::AclMember());
    acl.forwards = 2;

    String text;
    ASSERT_TRUE(gt::core::JSON::encode(acl.toDictionary(), &text, false));
    tunnel::Acl const back = tunnel::Acl::fromDictionary(object(utf8(text)));
    EXPECT_EQ(back.id, -1);
    EXPECT_EQ(utf8(back.label), "办公室");
    EXPECT_EQ(utf8(back.ip_filter), "enabled_white");
    EXPECT_EQ(utf8(back.gateway), "enabled");
    EXPECT_EQ(back.create_time.seconds(), 1700000000);
    ASSERT_EQ(back.white.count(), 3);
    EXPECT_EQ(utf8(back.white[1]), "");
    EXPECT_EQ(utf8(back.white[2]), "192.168.1.1");
    EXPECT_EQ(back.black.count(), 0);
    EXPECT_EQ(back.forwards, 2);
    ASSERT_EQ(back.members.count(), 2);
    EXPECT_EQ(utf8(back.members[0].name), "amy");
    EXPECT_TRUE(back.members[0].pwd.isEmpty());
    EXPECT_EQ(utf8(back.members[0].state), "disabled");
    EXPECT_EQ(utf8(back.members[0].remark), "a;b");
    EXPECT_EQ(back.members[0].expire_time.seconds(), 1800000000);
    EXPECT_EQ(back.members[1].expire_time.seconds(), 0);
    // The digest went out as set.
    EXPECT_NE(text.indexOf(u"\"pwd\":\"0cc175b9c0f1b6a831c399e269772661\""), -1) << utf8(text);

    // Copies are deep: changing one changes nothing in the other.
    tunnel::Acl copy = back;
    copy.members[0].name = u"bob";
    copy.white.add(u"x");
    EXPECT_EQ(utf8(back.members[0].name), "amy");
    EXPECT_EQ(back.white.count(), 3);
}

}  // namespace
