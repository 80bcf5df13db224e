// The device's cloud calls: what each sends and how it reads the reply.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gt/net/socket/IpAddress.h"
#include "support/CloudSupport.h"
#include "support/FakeHttp.h"
#include "support/Text.h"
#include "svr/DeviceApiClient.h"
#include "tunnel/api/ApiAccess.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;
using tunnel::DeviceApiClient;

namespace {

struct Fixture {
    gt::test::FakeHttp server;
    DeviceApiClient api{&server, gt::net::URL(u"http://127.0.0.1:18700/device"), String()};
};

std::string targetOf(gt::test::FakeHttp const& server, size_t i) {
    return gt::test::utf8(server.calls.at(i).request.target);
}
std::string methodOf(gt::test::FakeHttp const& server, size_t i) {
    return gt::test::methodOf(server.calls.at(i).request);
}
Dictionary<Any> paramsOf(gt::test::FakeHttp const& server, size_t i) {
    return gt::test::paramsOf(server.calls.at(i).request);
}

}  // namespace

TEST(DeviceApiClient, LoginSendsTheTokenAndKeepsTheSession) {
    Fixture f;
    f.server.answer = gt::test::replyInTurn({"\"result\": {\"session_id\": \"s-1\"}"});
    ASSERT_TRUE(f.api.login(u"tok-1234"));
    EXPECT_EQ("/device/account", targetOf(f.server, 0));
    EXPECT_EQ("login", methodOf(f.server, 0));
    Dictionary<Any> params = paramsOf(f.server, 0);
    EXPECT_EQ(String(u"tok-1234"), gt::core::toString(params.get(u"token")));
    EXPECT_EQ(String(u"2.0.7"), gt::core::toString(params.get(u"version")));
    EXPECT_FALSE(params.contains(u"session_id"));
    EXPECT_EQ(String(u"s-1"), f.api.sessionId());
}

TEST(DeviceApiClient, LoginFailuresLeaveTheSession) {
    struct Case {
        char const* name;
        std::string reply;
        bool ok;
        char16_t const* session;
    } const cases[] = {
        {"no session in the reply", "\"result\": {}", true, u""},
        {"session of another kind", "\"result\": {\"session_id\": [1]}", true, u""},
        {"refused token", "\"error\": {\"code\": 103, \"message\": \"unknown token\"}", false, u"old"},
        {"session ended", "\"error\": {\"code\": 101, \"message\": \"session\"}", false, u""},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        gt::test::FakeHttp server;
        DeviceApiClient api(&server, gt::net::URL(u"http://h/device"), u"old");
        server.answer = gt::test::replyInTurn({c.reply});
        EXPECT_EQ(c.ok, api.login(u"t"));
        EXPECT_EQ(String(c.session), api.sessionId());
    }
}

TEST(DeviceApiClient, LogoutAlwaysSendsAndEndsTheSession) {
    for (char16_t const* session : {u"", u"s-9"}) {
        gt::test::FakeHttp server;
        DeviceApiClient api(&server, gt::net::URL(u"http://h/device"), session);
        server.answer = gt::test::replyInTurn({"\"error\": {\"code\": 500, \"message\": \"down\"}"});
        api.logout();
        ASSERT_EQ(1u, server.calls.size());
        EXPECT_EQ("logout", methodOf(server, 0));
        EXPECT_EQ(String(session), gt::core::toString(paramsOf(server, 0).get(u"session_id")));
        EXPECT_EQ(String(u""), api.sessionId());
    }
}

TEST(DeviceApiClient, QueryMyDeviceNeedsAnObject) {
    struct Case {
        std::string reply;
        bool ok;
    } const cases[] = {
        {"\"result\": {\"device\": {\"id\": 7, \"reload_time\": 1700000000}}", true},
        {"\"result\": {\"device\": 5}", false},
        {"\"result\": {}", false},
        {"\"result\": null", false},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.reply);
        gt::test::FakeHttp server;
        DeviceApiClient api(&server, gt::net::URL(u"http://h/device"), u"s");
        server.answer = gt::test::replyInTurn({c.reply});
        Dictionary<Any> device;
        EXPECT_EQ(c.ok, api.queryMyDevice(&device));
        EXPECT_EQ("/device/account", targetOf(server, 0));
        EXPECT_EQ("query_my_device", methodOf(server, 0));
        EXPECT_EQ(String(u"s"), gt::core::toString(paramsOf(server, 0).get(u"session_id")));
        if (c.ok) {
            EXPECT_EQ(1700000000, gt::core::toLong(device.get(u"reload_time")));
        }
    }
}

TEST(DeviceApiClient, EnumForwardsNeedsAnArray) {
    struct Case {
        std::string reply;
        bool ok;
        int count;
    } const cases[] = {
        {"\"result\": {\"forwards\": [{\"id\": 1}, 7]}", true, 2},
        {"\"result\": {\"forwards\": []}", true, 0},
        {"\"result\": {\"forwards\": {}}", false, -1},
        {"\"result\": {}", false, -1},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.reply);
        gt::test::FakeHttp server;
        DeviceApiClient api(&server, gt::net::URL(u"http://h/device"), u"s");
        server.answer = gt::test::replyInTurn({c.reply});
        Array<Any> forwards;
        forwards.add(Any(u"stale"));
        EXPECT_EQ(c.ok, api.enumForwards(&forwards));
        EXPECT_EQ("/device/instance", targetOf(server, 0));
        EXPECT_EQ("enum_forwards", methodOf(server, 0));
        EXPECT_EQ(c.ok ? c.count : 1, forwards.count());
    }
}

// The stack as the service's Application holds it: one ApiAccess on the
// device root, every connection from "net.local_ip" (empty: any address).
TEST(DeviceApiClientCloud, LogsInThroughTheServiceStackFromTheLocalAddress) {
    struct Case {
        char16_t const* localIp;
        char const* loginIp;  // where the cloud saw the device log in from
    } const cases[] = {{u"", "127.0.0.1"}, {u"127.0.0.2", "127.0.0.2"}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.loginIp);
        gt::test::TestCloud cloud("tests/peers/cloud_demo_state.json", {"RELAY=127.0.0.1:7000"});
        gt::net::URL const root(gt::test::apiRoot(cloud.port(), "/device"));
        Array<String> hosts;
        hosts.add(gt::test::hostEntry(cloud.port()));
        tunnel::ApiAccess access(root, hosts, gt::test::demoSpec(),
                                 gt::net::SocketAddress(gt::net::IpAddress(c.localIp), 0));
        DeviceApiClient api(&access, root, String());
        ASSERT_TRUE(api.login(u"demo-device-token")) << gt::test::utf8(api.errorMessage());
        Dictionary<Any> device;
        ASSERT_TRUE(api.queryMyDevice(&device)) << gt::test::utf8(api.errorMessage());
        EXPECT_EQ(c.loginIp, gt::test::utf8(gt::core::toString(device.get(u"login_ip"))));

        Array<Any> calls = gt::test::recorded(cloud);
        ASSERT_EQ(3, calls.count());
        // The probe pinged the device root before the first real call.
        EXPECT_EQ("ping", gt::test::textOf(calls[0], u"method"));
        EXPECT_EQ("/api/device/util", gt::test::textOf(calls[0], u"path"));
        EXPECT_EQ("login", gt::test::textOf(calls[1], u"method"));
        EXPECT_EQ("/api/device/account", gt::test::textOf(calls[1], u"path"));
        for (Any const& call : calls)
            EXPECT_EQ("true", gt::test::textOf(call, u"encrypted"));
    }
}
