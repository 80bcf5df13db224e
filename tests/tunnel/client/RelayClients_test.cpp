// The relay clients against the relay double: tunnel creation, its failures,
// datagrams both ways, and the ping round trip.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/FakeClock.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/RelayFrames.h"
#include "support/TestRelay.h"
#include "support/Text.h"
#include "tunnel/client/DicRpc.h"
#include "tunnel/client/TunnelDataClient.h"
#include "tunnel/client/TunnelPingClient.h"

using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;
using namespace gt::test;
using gt::test::TestRelay;
using tunnel::TunnelDataClient;

namespace {
// A tunnel client with every callback recorded as a line.
struct Tunnel {
    std::unique_ptr<TunnelDataClient> client;
    std::vector<std::string> events;

    Tunnel(gt::net::SocketEventSelector* selector, gt::net::SocketAddress const& server,
           gt::net::SocketAddress const& bind = gt::net::SocketAddress())
        : client(new TunnelDataClient(selector, server, bind, String::fromUtf8("key-中"))) {
        client->onCreated = [this] { events.push_back("created"); };
        client->onError = [this](tunnel::Error const& e) { events.push_back(gt::test::errorLine(e)); };
        client->onTunnelClosed = [this] { events.push_back("closed"); };
        client->onDatagram = [this](Binary& d) { events.push_back("datagram:" + hex(d)); };
    }
};
}  // namespace

TEST(TunnelDataClient, CreatesTheTunnelWithTheAccessKey) {
    TestRelay relay;
    gt::net::SocketEventSelector selector(1000);
    Tunnel t(&selector, loopback(relay.port()));
    EXPECT_EQ(t.client->state(), TunnelDataClient::STATE_CREATING);
    ASSERT_TRUE(pumpUntil(selector, [&] { return !t.events.empty(); }));
    EXPECT_EQ(t.events, std::vector<std::string>{"created"});
    EXPECT_EQ(t.client->state(), TunnelDataClient::STATE_CREATED);
    std::vector<std::string> frames = relay.frames(0);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], gt::test::tunnelCreateFrame("key-中"));
}

TEST(TunnelDataClient, CarriesDatagramsBothWays) {
    TestRelay relay;
    gt::net::SocketEventSelector selector(1000);
    Tunnel t(&selector, loopback(relay.port()));
    ASSERT_TRUE(pumpUntil(selector, [&] { return !t.events.empty(); }));
    ASSERT_EQ(relay.command("connect 0 32769 2 1.2.3.4 8080"), "ok");
    ASSERT_EQ(relay.command("window 0 5 4096"), "ok");
    ASSERT_TRUE(pumpUntil(selector, [&] { return t.events.size() >= 3; }));
    EXPECT_EQ(t.events[1], "datagram:0101800204030201901f");
    EXPECT_EQ(t.events[2], "datagram:05050000100000");
    EXPECT_TRUE(t.client->sendDatagram(unhex("030500")));
    ASSERT_TRUE(pumpUntil(selector, [&] { return relay.command("wait frames 0 2 0") == "ok"; }));
    EXPECT_EQ(relay.frames(0)[1], "0102030500");
}

TEST(TunnelDataClient, ErrorReplyFailsTheTunnel) {
    TestRelay relay;
    ASSERT_EQ(relay.command("reply tunnel_create error 5 " + hexOf("隧道已存在")), "ok");
    gt::net::SocketEventSelector selector(1000);
    Tunnel t(&selector, loopback(relay.port()));
    ASSERT_TRUE(pumpUntil(selector, [&] { return !t.events.empty(); }));
    EXPECT_EQ(t.events, std::vector<std::string>{"error:5:隧道已存在"});
    EXPECT_EQ(t.client->state(), TunnelDataClient::STATE_FAILED);
    EXPECT_EQ(t.client->lastError().code, 5);
}

TEST(TunnelDataClient, CloseBeforeTheReplyIsAnErrorAfterItAClose) {
    struct Case {
        char const* reply;
        std::string expected;
    } const cases[] = {{"reply tunnel_create drop", "error:-1:"}, {"reply tunnel_create ok close", "closed"}};
    for (auto const& c : cases) {
        TestRelay relay;
        ASSERT_EQ(relay.command(c.reply), "ok");
        gt::net::SocketEventSelector selector(1000);
        Tunnel t(&selector, loopback(relay.port()));
        ASSERT_TRUE(pumpUntil(selector, [&] { return !t.events.empty() && t.events.back() != "created"; }));
        EXPECT_EQ(t.events.back(), c.expected) << c.reply;
        EXPECT_EQ(t.client->state(), TunnelDataClient::STATE_FAILED);
        selector.poll(20);
        EXPECT_EQ(t.events.back(), c.expected) << "nothing follows the end";
    }
}

TEST(TunnelDataClient, RefusedConnectionFailsWithCodeMinusOne) {
    gt::net::SocketEventSelector selector(1000);
    Tunnel t(&selector, loopback(unusedPort()));
    ASSERT_TRUE(pumpUntil(
        selector, [&] { return !t.events.empty() || t.client->state() == TunnelDataClient::STATE_FAILED; }));
    EXPECT_EQ(t.client->state(), TunnelDataClient::STATE_FAILED);
    EXPECT_EQ(t.client->lastError().code, -1);
    EXPECT_TRUE(t.client->lastError().message.isEmpty());
}

TEST(TunnelDataClient, ConnectThatFailsAtOnceIsVisibleAfterConstruction) {
    gt::net::SocketEventSelector selector(1000);
    struct Case {
        char const* name;
        gt::net::SocketAddress server;
        gt::net::SocketAddress bind;
    } const cases[] = {
        {"none-address", gt::net::SocketAddress(), gt::net::SocketAddress()},
        // 192.0.2.1 (documentation range) is not an address of this machine: bind fails at once.
        {"unbindable local address", loopback(unusedPort()),
         gt::net::SocketAddress(gt::net::IpAddress(0xC0000201u), 0)},
    };
    for (auto const& c : cases) {
        Tunnel t(&selector, c.server, c.bind);
        EXPECT_TRUE(t.client->hasFailed()) << c.name;
        EXPECT_EQ(t.client->state(), TunnelDataClient::STATE_FAILED) << c.name;
        EXPECT_EQ(t.client->lastError().code, -1) << c.name;
        selector.poll(0);
        EXPECT_TRUE(t.events.empty()) << c.name;
    }
}

TEST(TunnelDataClient, CloseCancelsAConnectOrClosesTheChannel) {
    TestRelay relay;
    ASSERT_EQ(relay.command("reply tunnel_create never"), "ok");
    gt::net::SocketEventSelector selector(1000);
    Tunnel t(&selector, loopback(relay.port()));
    ASSERT_TRUE(pumpUntil(selector, [&] { return t.client->rpc() != nullptr && t.client->rpc()->isBusy(); }));
    t.client->close();
    ASSERT_TRUE(pumpUntil(selector, [&] { return !t.events.empty(); }));
    EXPECT_EQ(t.events, std::vector<std::string>{"error:-1:"});
    EXPECT_EQ(relay.command("wait closed 0"), "ok");
}

TEST(TunnelDataClient, SilentServerIsDroppedAfterSixtySecondsIdle) {
    TestRelay relay;
    ASSERT_EQ(relay.command("reply tunnel_create never"), "ok");
    gt::test::FakeClock clock;
    gt::net::SocketEventSelector selector(1000);
    Tunnel t(&selector, loopback(relay.port()));
    ASSERT_TRUE(pumpUntil(selector, [&] { return relay.command("wait frames 0 1 0") == "ok"; }));
    clock.advance(59000);
    selector.poll(0);
    EXPECT_TRUE(t.events.empty());
    clock.advance(2000);
    ASSERT_TRUE(pumpUntil(selector, [&] { return !t.events.empty(); }));
    EXPECT_EQ(t.events, std::vector<std::string>{"error:-1:"});
}

TEST(TunnelPingClient, ReportsTheRoundTrip) {
    TestRelay relay;
    ASSERT_EQ(relay.command("reply ping ok delay=40"), "ok");
    gt::net::SocketEventSelector selector(1000);
    tunnel::TunnelPingClient ping(&selector, loopback(relay.port()), gt::net::SocketAddress());
    int rtt = -1;
    ping.onPing = [&](int ms) { rtt = ms; };
    ASSERT_TRUE(pumpUntil(selector, [&] { return rtt >= 0; }));
    EXPECT_GE(rtt, 39);
    EXPECT_LT(rtt, 2000);
}

TEST(TunnelPingClient, FailuresReachOnError) {
    struct Case {
        char const* reply;
        int code;
    } const cases[] = {{"reply ping error 9 -", 9}, {"reply ping drop", -1}};
    for (auto const& c : cases) {
        TestRelay relay;
        ASSERT_EQ(relay.command(c.reply), "ok");
        gt::net::SocketEventSelector selector(1000);
        tunnel::TunnelPingClient ping(&selector, loopback(relay.port()), gt::net::SocketAddress());
        std::vector<int> codes;
        ping.onPing = [&](int) { codes.push_back(1000); };
        ping.onError = [&](tunnel::Error const& e) { codes.push_back(e.code); };
        ASSERT_TRUE(pumpUntil(selector, [&] { return !codes.empty(); }));
        EXPECT_EQ(codes.front(), c.code) << c.reply;
    }
}

TEST(TunnelDataClient, OwnerMayDeleteTheClientFromItsCallbacks) {
    // The owner's callback deletes the client and then still uses what it was
    // given and what it captured (a heap-held text, so a freed closure shows).
    struct Case {
        std::string reply;
        std::string expected;
    } const cases[] = {
        {"reply tunnel_create error 5 " + hexOf("denied"), "error:5:denied"},
        {"reply tunnel_create drop", "error:-1:"},
        {"reply tunnel_create ok", "created"},
        {"reply tunnel_create ok close", "closed"},
    };
    for (auto const& c : cases) {
        TestRelay relay;
        ASSERT_EQ(relay.command(c.reply), "ok");
        gt::net::SocketEventSelector selector(1000);
        std::unique_ptr<TunnelDataClient> client(
            new TunnelDataClient(&selector, loopback(relay.port()), gt::net::SocketAddress(), u"k"));
        bool const deleteOnCreated = c.expected == "created";
        std::string seen;
        std::string const tag(64, '.');
        client->onError = [&client, &seen, tag](tunnel::Error const& e) {
            client.reset();
            Binary m = e.message.toBinary();
            seen = "error:" + std::to_string(e.code) + ":" + std::string(m.data(), m.length()) + tag;
        };
        client->onCreated = [&client, &seen, tag, deleteOnCreated] {
            if (!deleteOnCreated) return;
            client.reset();
            seen = "created" + tag;
        };
        client->onTunnelClosed = [&client, &seen, tag] {
            client.reset();
            seen = "closed" + tag;
        };
        ASSERT_TRUE(pumpUntil(selector, [&] { return !seen.empty(); })) << c.reply;
        EXPECT_EQ(seen, c.expected + tag) << c.reply;
        EXPECT_EQ(client, nullptr);
        selector.poll(10);
    }
}

TEST(TunnelPingClient, OwnerMayDeleteTheClientFromItsCallbacks) {
    struct Case {
        char const* reply;
    } const cases[] = {{"reply ping ok"}, {"reply ping error 9 -"}, {"reply ping drop"}};
    for (auto const& c : cases) {
        TestRelay relay;
        ASSERT_EQ(relay.command(c.reply), "ok");
        gt::net::SocketEventSelector selector(1000);
        std::unique_ptr<tunnel::TunnelPingClient> ping(
            new tunnel::TunnelPingClient(&selector, loopback(relay.port()), gt::net::SocketAddress()));
        std::string seen;
        std::string const tag(64, 't');
        ping->onPing = [&ping, &seen, tag](int) {
            ping.reset();
            seen = "ping:" + tag;
        };
        ping->onError = [&ping, &seen, tag](tunnel::Error const& e) {
            ping.reset();
            seen = "error:" + std::to_string(e.code) + tag;
        };
        ASSERT_TRUE(pumpUntil(selector, [&] { return !seen.empty(); })) << c.reply;
        EXPECT_EQ(ping, nullptr);
        selector.poll(10);
    }
}

TEST(TunnelDataClient, OwnerMayDeleteTheClientFromADatagram) {
    TestRelay relay;
    gt::net::SocketEventSelector selector(1000);
    std::unique_ptr<TunnelDataClient> client(
        new TunnelDataClient(&selector, loopback(relay.port()), gt::net::SocketAddress(), u"k"));
    bool created = false;
    std::string seen;
    std::string const tag(64, '.');
    client->onCreated = [&] { created = true; };
    client->onDatagram = [&client, &seen, tag](Binary& d) {
        client.reset();
        seen = hex(d) + tag;
    };
    ASSERT_TRUE(pumpUntil(selector, [&] { return created; }));
    ASSERT_EQ(relay.command("datagram 0 0307"), "ok");
    ASSERT_EQ(relay.command("datagram 0 0308"), "ok");
    ASSERT_TRUE(pumpUntil(selector, [&] { return !seen.empty(); }));
    EXPECT_EQ(seen, "0307" + tag);
    EXPECT_EQ(client, nullptr);
    selector.poll(10);
}
