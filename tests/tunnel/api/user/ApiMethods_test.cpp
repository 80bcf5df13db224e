// The account calls of the desktop client: what each sends, and how each
// reads its reply.
#include <gtest/gtest.h>

#include <functional>

#include "support/CloudSupport.h"
#include "support/FakeHttp.h"
#include "tunnel/api/ApiAccess.h"
#include "tunnel/api/ApiClient.h"
#include "tunnel/api/user/Acl.h"
#include "tunnel/api/user/Device.h"
#include "tunnel/api/user/Forward.h"
#include "tunnel/api/user/Node.h"
#include "tunnel/api/user/Plan.h"
#include "tunnel/api/user/QuotaInfo.h"
#include "tunnel/api/user/Region.h"
#include "tunnel/api/user/User.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;
using gt::test::FakeHttp;
using gt::test::replyWith;
using gt::test::utf8;
using tunnel::ApiClient;

namespace {

// JSON text in the key order our writer uses, whatever order it came in.
std::string canonical(std::string const& json) {
    Dictionary<Any> object;
    EXPECT_TRUE(gt::core::JSON::decode(gt::test::str(json), &object)) << json;
    return gt::test::jsonOf(Any(object));
}

Dictionary<Any> labelFields(char const* label) {
    Dictionary<Any> fields;
    fields.set(u"label", Any(gt::test::str(label)));
    return fields;
}

tunnel::Acl samplePolicy() {
    tunnel::Acl acl;
    acl.label = u"office";
    acl.ip_filter = u"enabled_white";
    acl.gateway = u"disabled";
    acl.white.add(u"10.0.0.*");
    acl.white.add(u"192.168.1.1");
    tunnel::AclMember member;
    member.name = u"bob";
    member.pwd = u"0123456789abcdef0123456789abcdef";
    member.state = u"enabled";
    acl.members.add(member);
    return acl;
}

// Every call of the catalogue against the double, in an order its state
// accepts; each must succeed and send exactly these params.
TEST(ApiMethodsCloud, EveryCallSendsItsParamsAndReadsItsReply) {
    gt::test::TestCloud cloud("tests/peers/cloud_demo_state.json", {"RELAY=127.0.0.1:7000,127.0.0.1:7001"});
    tunnel::ApiAccess access(gt::test::apiRoot(cloud.port(), "/user"),
                             Array<String>().add(gt::test::hostEntry(cloud.port())), gt::test::demoSpec());
    ApiClient client(&access, gt::test::apiRoot(cloud.port(), "/user"), String());

    // The login name goes out with the country code in front.
    ASSERT_TRUE(client.login(u"13800000000", u"demo-password")) << utf8(client.errorMessage());
    ASSERT_FALSE(client.sessionId().isEmpty());

    long long newDevice = 0;
    String token;
    Array<tunnel::Acl> acls;
    struct Step {
        char const* method;
        char const* group;
        std::function<bool()> run;
        std::string params;  // without session_id; "-" when it must not be sent
    };
    std::vector<Step> steps = {
        {"enum_configs", "util",
         [&] {
             Dictionary<String> configs;
             return client.enumConfigs(&configs) && utf8(configs.get(u"min_version")) == "2.0.0";
         },
         "-{}"},
        {"query_my_user", "account",
         [&] {
             tunnel::User user;
             return client.queryMyUser(&user) && user.id == 1 && utf8(user.phone_part) == "138****0000";
         },
         "{}"},
        {"enum_regions", "instance",
         [&] {
             Array<tunnel::Region> regions;
             return client.enumRegions(&regions) && regions.count() == 1 && regions[0].support_tcp &&
                    !regions[0].support_udp && utf8(regions[0].label) == "本机";
         },
         "{}"},
        {"enum_nodes", "instance",
         [&] {
             Array<tunnel::Node> nodes;
             return client.enumNodes(&nodes, 1) && nodes.count() == 1 && nodes[0].servers.count() == 2 &&
                    utf8(nodes[0].servers[1]) == "127.0.0.1:7001";
         },
         "{\"region_id\":1}"},
        {"enum_devices", "instance",
         [&] {
             Array<tunnel::Device> devices;
             return client.enumDevices(&devices) && devices.count() == 1 && devices[0].id == 10 &&
                    devices[0].create_time.seconds() == 1700000000;
         },
         "{}"},
        {"create_device", "instance",
         [&] {
             return client.createDevice(u"new pc", &newDevice, &token) && newDevice > 0 && !token.isEmpty();
         },
         "{\"label\":\"new pc\"}"},
        {"modify_device", "instance", [&] { return client.modifyDevice(10, labelFields("renamed")); },
         "{\"device_id\":10,\"fields\":{\"label\":\"renamed\"}}"},
        {"enum_forwards", "instance",
         [&] {
             Array<tunnel::Forward> forwards;
             return client.enumForwards(&forwards, 10) && forwards.count() == 1 && forwards[0].id == 100 &&
                    forwards[0].acl_id == -1 && utf8(forwards[0].protocol) == "tcp";
         },
         "{\"device_id\":10}"},
        {"create_forward", "instance",
         [&] { return client.createForward(10, 1, u"web", u"tcp", u"", u"", u"", u"127.0.0.1", 8080, 2); },
         "{\"device_id\":10,\"node_id\":1,\"label\":\"web\",\"protocol\":\"tcp\",\"host_prefix\":\"\","
         "\"host_domain\":\"\",\"host_custom\":\"\",\"client_host\":\"127.0.0.1\",\"client_port\":8080,"
         "\"bandwidth\":2}"},
        {"modify_forward", "instance", [&] { return client.modifyForward(100, labelFields("db")); },
         "{\"forward_id\":100,\"fields\":{\"label\":\"db\"}}"},
        {"create_acl", "instance", [&] { return client.createAcl(samplePolicy()); },
         "{\"acl\":{\"id\":-1,\"label\":\"office\",\"ip_filter\":\"enabled_white\",\"gateway\":\"disabled\","
         "\"create_time\":0,\"ip\":{\"white\":\"10.0.0.*;192.168.1.1\",\"black\":\"\"},\"members\":[{"
         "\"name\":\"bob\","
         "\"pwd\":\"0123456789abcdef0123456789abcdef\",\"state\":\"enabled\",\"remark\":\"\",\"expire_time\":"
         "0}],"
         "\"forwards\":0}}"},
        {"enum_acls", "instance",
         [&] {
             return client.enumAcls(&acls) && acls.count() == 1 && acls[0].white.count() == 2 &&
                    acls[0].members.count() == 1 && acls[0].members[0].pwd.isEmpty();
         },
         "{}"},
        {"modify_acl", "instance", [&] { return client.modifyAcl(acls[0].id, acls[0]); }, ""},
        {"remove_acl", "instance", [&] { return client.removeAcl(acls[0].id); }, ""},
        {"enum_prefixes", "product",
         [&] {
             Array<String> names;
             return client.enumPrefixes(&names) && names.count() == 1 && utf8(names[0]) == "demo";
         },
         "{}"},
        {"check_prefix", "product", [&] { return client.checkPrefix(u"fresh"); },
         "{\"prefix_name\":\"fresh\"}"},
        {"create_prefix_free", "product", [&] { return client.createPrefixFree(u"fresh"); },
         "{\"prefix_name\":\"fresh\"}"},
        {"query_plan", "product",
         [&] {
             tunnel::Plan plan;
             return client.queryPlan(&plan) && plan.forward == 10 && plan.remain.seconds() == 2592000;
         },
         "{}"},
        {"query_quota", "product",
         [&] {
             tunnel::QuotaInfo quota;
             return client.queryQuota(&quota) && quota.limit.traffic_free == 1073741824LL &&
                    quota.used.forward == 1 && quota.limit.bandwidth_float == 1;
         },
         "{}"},
        {"remove_forward", "instance", [&] { return client.removeForward(100); }, "{\"forward_id\":100}"},
        {"remove_device", "instance", [&] { return client.removeDevice(newDevice); }, ""},
    };
    for (Step const& step : steps) {
        SCOPED_TRACE(step.method);
        int since = static_cast<int>(gt::test::recorded(cloud).count());
        ASSERT_TRUE(step.run()) << client.errorCode() << " " << utf8(client.errorMessage());
        Array<Any> calls = gt::test::recorded(cloud, since);
        ASSERT_EQ(calls.count(), 1);
        EXPECT_EQ(gt::test::textOf(calls[0], u"method"), step.method);
        EXPECT_EQ(gt::test::textOf(calls[0], u"group"), step.group);
        Dictionary<Any> params = gt::test::fieldsOf(calls[0]).get(u"params").cast<Dictionary<Any> >();
        if (step.params[0] == '-') {
            EXPECT_FALSE(params.contains(u"session_id"));
        } else {
            EXPECT_EQ(params.get(u"session_id").cast<String>(), client.sessionId());
            params.remove(u"session_id");
        }
        if (!step.params.empty() && step.params != "-") {
            std::string expected = step.params[0] == '-' ? step.params.substr(1) : step.params;
            EXPECT_EQ(gt::test::jsonOf(Any(params)), canonical(expected));
        }
    }

    Array<Any> login = gt::test::recorded(cloud);
    int since = static_cast<int>(login.count());
    client.logout();
    EXPECT_TRUE(client.sessionId().isEmpty());
    Array<Any> calls = gt::test::recorded(cloud, since);
    ASSERT_EQ(calls.count(), 1);
    EXPECT_EQ(gt::test::textOf(calls[0], u"method"), "logout");
    client.logout();  // no session: nothing is sent
    EXPECT_EQ(gt::test::recorded(cloud, since).count(), 1);

    for (Any const& call : login) {
        if (gt::test::textOf(call, u"method") != "login") continue;
        EXPECT_EQ(gt::test::jsonOf(gt::test::fieldsOf(call).get(u"params")),
                  canonical("{\"name\":\"8613800000000\",\"pwd\":\"demo-password\",\"version\":\"2.0.9\"}"));
    }
}

// ---- reply shapes, with an in-process transport ----

struct Fixture {
    FakeHttp http;
    ApiClient client{&http, gt::net::URL(u"http://api.test/user"), u"sid"};
};

// Every wrong shape of reply fails the call with a reason the window can
// show ("未能刷新" with an empty text tells the user nothing), and leaves
// the caller's outputs alone.
TEST(ApiMethods, AReplyOfTheWrongShapeFailsWithAReasonAndLeavesOutputsAlone) {
    struct Call {
        char const* key;
        bool list;
        std::function<bool(ApiClient&)> run;
    };
    Array<tunnel::Device> devices;
    devices.add(tunnel::Device());
    Dictionary<String> configs;
    configs.set(u"kept", u"1");
    Call const calls[] = {
        {"configs", false, [&](ApiClient& c) { return c.enumConfigs(&configs); }},
        {"user", false, [](ApiClient& c) { return c.queryMyUser(nullptr); }},
        {"quota", false, [](ApiClient& c) { return c.queryQuota(nullptr); }},
        {"regions", true, [](ApiClient& c) { return c.enumRegions(nullptr); }},
        {"nodes", true, [](ApiClient& c) { return c.enumNodes(nullptr, 1); }},
        {"forwards", true, [](ApiClient& c) { return c.enumForwards(nullptr, 1); }},
        {"devices", true, [&](ApiClient& c) { return c.enumDevices(&devices); }},
        {"acls", true, [](ApiClient& c) { return c.enumAcls(nullptr); }},
        {"prefixes", true, [](ApiClient& c) { return c.enumPrefixes(nullptr); }},
    };
    struct Shape {
        char const* name;
        std::string (*member)(Call const&);  // the reply's member for a call
        bool namesKey;                       // the reason names the call's key
    } const shapes[] = {
        {"result null", [](Call const&) { return std::string("\"result\":null"); }, true},
        {"result without the key", [](Call const&) { return std::string("\"result\":{\"other\":1}"); }, true},
        {"key of the other kind",
         [](Call const& c) {
             return std::string("\"result\":{\"") + c.key + "\":" + (c.list ? "{}" : "[]") + "}";
         },
         true},
        {"key is a number", [](Call const& c) { return std::string("\"result\":{\"") + c.key + "\":5}"; },
         true},
        {"key is a text", [](Call const& c) { return std::string("\"result\":{\"") + c.key + "\":\"x\"}"; },
         true},
        {"key is null", [](Call const& c) { return std::string("\"result\":{\"") + c.key + "\":null}"; },
         true},
        {"result is a list", [](Call const&) { return std::string("\"result\":[]"); }, false},
        {"result is a number", [](Call const&) { return std::string("\"result\":7"); }, false},
        {"result is a text", [](Call const&) { return std::string("\"result\":\"x\""); }, false},
        {"result is true", [](Call const&) { return std::string("\"result\":true"); }, false},
    };
    for (Shape const& shape : shapes) {
        for (Call const& c : calls) {
            SCOPED_TRACE(std::string(c.key) + ": " + shape.name);
            Fixture f;
            f.http.answer = replyWith(shape.member(c));
            EXPECT_FALSE(c.run(f.client));
            EXPECT_EQ(f.client.errorCode(), ApiClient::LOCAL_ERROR);
            std::string const reason = utf8(f.client.errorMessage());
            EXPECT_EQ(reason.rfind("服务器的响应不正确: ", 0), 0u) << reason;
            if (shape.namesKey) {
                EXPECT_NE(reason.find(std::string("'") + c.key + "'"), std::string::npos) << reason;
            }
        }
    }
    EXPECT_EQ(devices.count(), 1);
    EXPECT_EQ(configs.count(), 1);
    EXPECT_TRUE(configs.contains(u"kept"));

    // An error reply without a message still says what happened.
    Fixture f;
    f.http.answer = replyWith("\"error\":{\"code\":5}");
    EXPECT_FALSE(f.client.enumDevices(nullptr));
    EXPECT_EQ(f.client.errorCode(), 5);
    EXPECT_EQ(utf8(f.client.errorMessage()), "服务器返回了错误 (代码 5), 但没有说明原因, 请稍后重试");
}

// A list longer than any account holds (four million empty records fit in
// one reply) is refused whole, before a record is built, with the count and
// the limit; up to the limit every element is read.
TEST(ApiMethods, AListLongerThanTheLimitIsRefusedWithItsCount) {
    struct Case {
        char const* key;
        std::function<bool(ApiClient&, int*)> run;  // the records read
    };
    Case const cases[] = {
        {"regions",
         [](ApiClient& c, int* n) {
             Array<tunnel::Region> out;
             bool ok = c.enumRegions(&out);
             *n = out.count();
             return ok;
         }},
        {"nodes",
         [](ApiClient& c, int* n) {
             Array<tunnel::Node> out;
             bool ok = c.enumNodes(&out, 1);
             *n = out.count();
             return ok;
         }},
        {"forwards",
         [](ApiClient& c, int* n) {
             Array<tunnel::Forward> out;
             bool ok = c.enumForwards(&out, 1);
             *n = out.count();
             return ok;
         }},
        {"devices",
         [](ApiClient& c, int* n) {
             Array<tunnel::Device> out;
             bool ok = c.enumDevices(&out);
             *n = out.count();
             return ok;
         }},
        {"acls",
         [](ApiClient& c, int* n) {
             Array<tunnel::Acl> out;
             bool ok = c.enumAcls(&out);
             *n = out.count();
             return ok;
         }},
        {"prefixes",
         [](ApiClient& c, int* n) {
             Array<String> out;
             bool ok = c.enumPrefixes(&out);
             *n = out.count();
             return ok;
         }},
    };
    auto listOf = [](char const* key, int count) {
        std::string text = std::string("\"result\":{\"") + key + "\":[";
        for (int i = 0; i < count; ++i)
            text += i ? ",{}" : "{}";
        return text + "]}";
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.key);
        Fixture f;
        int read = -1;
        f.http.answer = replyWith(listOf(c.key, ApiClient::MAX_LIST_RECORDS));
        EXPECT_TRUE(c.run(f.client, &read));
        EXPECT_EQ(read, ApiClient::MAX_LIST_RECORDS);
        EXPECT_EQ(f.client.errorCode(), 0);

        f.http.answer = replyWith(listOf(c.key, 4 * ApiClient::MAX_LIST_RECORDS + 3));
        read = -1;
        EXPECT_FALSE(c.run(f.client, &read));
        EXPECT_EQ(read, 0);  // the caller's empty list stays empty
        EXPECT_EQ(f.client.errorCode(), ApiClient::LOCAL_ERROR);
        EXPECT_EQ(utf8(f.client.errorMessage()),
                  std::string("服务器返回的 '") + c.key +
                      "' 列表有 4099 项, 超过了本客户端能处理的 1024 项, 未能读取");
    }
}

TEST(ApiMethods, ListsSkipNonObjectsKeepOrderAndReplaceTheCallersList) {
    Fixture f;
    f.http.answer = replyWith(
        "\"result\":{\"regions\":[5,{\"id\":7,\"label\":\"东\",\"support_udp\":1},\"x\",null,{\"id\":8}]}");
    Array<tunnel::Region> regions;
    regions.add(tunnel::Region());
    ASSERT_TRUE(f.client.enumRegions(&regions));
    ASSERT_EQ(regions.count(), 2);
    EXPECT_EQ(regions[0].id, 7);
    EXPECT_TRUE(regions[0].support_udp);
    EXPECT_EQ(utf8(regions[0].label), "东");
    EXPECT_EQ(regions[1].id, 8);

    f.http.answer = replyWith("\"result\":{\"devices\":[]}");
    Array<tunnel::Device> devices;
    devices.add(tunnel::Device());
    ASSERT_TRUE(f.client.enumDevices(&devices));
    EXPECT_TRUE(devices.isEmpty());

    f.http.answer = replyWith(
        "\"result\":{\"nodes\":[{\"id\":1,\"servers\":\"a:1\",\"domains\":[\"d.test\",7]},{\"id\":2,"
        "\"servers\":[\"b:2\"]}]}");
    Array<tunnel::Node> nodes;
    ASSERT_TRUE(f.client.enumNodes(&nodes, 3));
    ASSERT_EQ(nodes.count(), 2);
    EXPECT_TRUE(nodes[0].servers.isEmpty());
    ASSERT_EQ(nodes[0].domains.count(), 2);
    EXPECT_EQ(utf8(nodes[0].domains[1]), "7");
    EXPECT_TRUE(nodes[1].domains.isEmpty());
    EXPECT_EQ(utf8(nodes[1].servers[0]), "b:2");

    f.http.answer = replyWith("\"result\":{\"prefixes\":[{\"name\":\"a\"},\"b\",{\"name\":5},{}]}");
    Array<String> names;
    ASSERT_TRUE(f.client.enumPrefixes(&names));
    ASSERT_EQ(names.count(), 3);
    EXPECT_EQ(utf8(names[1]), "5");
    EXPECT_TRUE(names[2].isEmpty());
}

TEST(ApiMethods, DeviceFieldsReadThroughTheValueConversions) {
    struct Case {
        char const* isOnline;
        bool expected;
    };
    Case const cases[] = {{"\"TRUE\"", true}, {"\"yes\"", false}, {"1", true}, {"0", false}, {"null", false}};
    for (Case const& c : cases) {
        Fixture f;
        f.http.answer = replyWith(std::string("\"result\":{\"devices\":[{\"is_online\":") + c.isOnline +
                                  ",\"forwards\":\"12\",\"create_time\":1700000000}]}");
        Array<tunnel::Device> devices;
        ASSERT_TRUE(f.client.enumDevices(&devices));
        ASSERT_EQ(devices.count(), 1);
        EXPECT_EQ(devices[0].is_online, c.expected) << c.isOnline;
        EXPECT_EQ(devices[0].forwards, 12);
        EXPECT_EQ(devices[0].id, 0);  // read, not blank
        EXPECT_EQ(devices[0].create_time.seconds(), 1700000000);
    }
}

TEST(ApiMethods, PlanAndQuotaShapes) {
    Fixture f;
    tunnel::Plan plan;
    plan.forward = 3;
    f.http.answer = replyWith("\"result\":{\"plan\":null}");
    ASSERT_TRUE(f.client.queryPlan(&plan));
    EXPECT_EQ(plan.forward, 0);
    EXPECT_EQ(plan.remain.seconds(), 0);

    f.http.answer = replyWith("\"result\":{\"plan\":{\"remain\":86400}}");
    ASSERT_TRUE(f.client.queryPlan(&plan));
    EXPECT_EQ(plan.remain.seconds(), 86400);
    EXPECT_EQ(plan.bandwidth, 0);
    EXPECT_TRUE(f.client.queryPlan(nullptr));

    f.http.answer = replyWith("\"result\":{\"quota\":null}");
    tunnel::QuotaInfo quota;
    quota.used.forward = 9;
    EXPECT_FALSE(f.client.queryQuota(&quota));
    EXPECT_EQ(quota.used.forward, 9);

    f.http.answer = replyWith(
        "\"result\":{\"quota\":{\"used\":{\"traffic_paid\":5000000000,\"forward\":2},\"limit\":7}}");
    ASSERT_TRUE(f.client.queryQuota(&quota));
    EXPECT_EQ(quota.used.traffic_paid, 5000000000LL);
    EXPECT_EQ(quota.used.forward, 2);
    EXPECT_EQ(quota.limit.forward, 0);
    EXPECT_EQ(quota.limit.traffic_free, 0);
}

TEST(ApiMethods, LoginAndLogoutKeepTheSessionRules) {
    Fixture f;
    f.http.answer = replyWith("\"result\":{\"session_id\":\"s2\"}");
    ASSERT_TRUE(f.client.login(u"alice", u"pw"));
    EXPECT_EQ(utf8(f.client.sessionId()), "s2");
    EXPECT_TRUE(f.client.hasSession());
    EXPECT_EQ(gt::test::paramsJson(f.http.last()),
              canonical("{\"name\":\"alice\",\"pwd\":\"pw\",\"version\":\"2.0.9\"}"));

    // A failed login keeps the session, unless the cloud says it is gone.
    f.http.answer = replyWith("\"error\":{\"code\":102,\"message\":\"bad\"}");
    EXPECT_FALSE(f.client.login(u"alice", u"wrong"));
    EXPECT_EQ(utf8(f.client.sessionId()), "s2");

    // A reply without a session leaves none, and still succeeds.
    f.http.answer = replyWith("\"result\":{}");
    EXPECT_TRUE(f.client.login(u"alice", u"pw"));
    EXPECT_TRUE(f.client.sessionId().isEmpty());
    EXPECT_FALSE(f.client.hasSession());

    // Calls without a session still send it, empty.
    f.http.answer = replyWith("\"result\":{\"devices\":[]}");
    EXPECT_TRUE(f.client.enumDevices(nullptr));
    EXPECT_EQ(gt::test::paramsJson(f.http.last()), "{\"session_id\":\"\"}");

    // Logout without a session sends nothing; with one it always ends it.
    size_t sent = f.http.requests().size();
    f.client.logout();
    EXPECT_EQ(f.http.requests().size(), sent);
    f.http.answer = replyWith("\"result\":{\"session_id\":\"s3\"}");
    ASSERT_TRUE(f.client.login(u"alice", u"pw"));
    f.http.answer = nullptr;
    f.client.logout();
    EXPECT_TRUE(f.client.sessionId().isEmpty());
    EXPECT_FALSE(f.client.hasSession());
    EXPECT_EQ(gt::test::paramsJson(f.http.last()), "{\"session_id\":\"s3\"}");
}

TEST(ApiMethods, CreateDeviceWritesOutputsOnlyOnSuccess) {
    Fixture f;
    long long id = -5;
    String token(u"keep");
    f.http.answer = replyWith("\"error\":{\"code\":201,\"message\":\"no\"}");
    EXPECT_FALSE(f.client.createDevice(u"pc", &id, &token));
    EXPECT_EQ(id, -5);
    EXPECT_EQ(utf8(token), "keep");
    f.http.answer = replyWith("\"result\":{\"device_id\":\"42\",\"device_token\":\"t\"}");
    EXPECT_TRUE(f.client.createDevice(u"pc", &id, nullptr));
    EXPECT_EQ(id, 42);
    EXPECT_TRUE(f.client.createDevice(u"pc", nullptr, &token));
    EXPECT_EQ(utf8(token), "t");
}

}  // namespace
