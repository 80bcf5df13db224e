#include "tunnel/forward/tcp/GatewayTcpForwardClient.h"

#include <gtest/gtest.h>

#include "gt/core/util/Any.h"
#include "gt/core/util/DateTime.h"
#include "gt/core/util/MD5.h"
#include "support/BlockingPeer.h"
#include "support/FakeClock.h"
#include "support/Pump.h"
#include "support/RecordingTunnel.h"
#include "tunnel/forward/Forward.h"

using namespace gt::test;
using gt::core::Any;
using gt::core::Array;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;
using tunnel::Forward;
using tunnel::GatewayTcpForwardClient;
using tunnel::NatAcl;

namespace {

Dictionary<Any> member(char const* name, char const* password, long long expire = 0) {
    Dictionary<Any> m;
    m.set(u"name", Any(String::fromUtf8(name)));
    m.set(u"pwd", Any(gt::core::md5Hex(bin(password))));
    m.set(u"state", Any(String(u"enabled")));
    m.set(u"expire_time", Any(expire));
    return m;
}

NatAcl gatewayAcl(Array<Any> const& members) {
    Dictionary<Any> policy;
    policy.set(u"gateway", Any(String(u"enabled")));
    policy.set(u"members", Any(members));
    return NatAcl::parse(policy);
}

std::string masked(std::string text) {
    for (char& c : text)
        c ^= GatewayTcpForwardClient::MASK;
    return text;
}

class GatewayTest : public ::testing::Test {
protected:
    GatewayTest() : selector(50) {
        Array<Any> members;
        members.add(Any(member("ann", "secret")));
        members.add(Any(member("old", "pw", gt::core::DateTime::now().seconds() - 10)));
        acl = gatewayAcl(members);
        String const text = u"127.0.0.1:" + String::fromUtf8(std::to_string(target.port()).c_str());
        forward.reset(new Forward(&tunnel, &selector, &acl, u"tcp", text));
    }

    GatewayTcpForwardClient* client(short id) {
        return static_cast<GatewayTcpForwardClient*>(forward->clients().find(id));
    }

    // CONNECT, then the relay's first datagram: a WINDOW of credit.
    void open(short id, int credit = 0x20000) {
        forward->connect(id, gt::net::SocketAddress(gt::net::IpAddress(0x01020304u), 5000));
        ASSERT_NE(client(id), nullptr);
        EXPECT_EQ(client(id)->state(), GatewayTcpForwardClient::State::INIT);
        EXPECT_FALSE(tunnel.has(Sent::WINDOW, id));
        forward->window(id, credit);
    }

    void relaySend(short id, std::string const& bytes) {
        Binary data = bin(bytes);
        forward->send(id, data);
    }

    gt::net::SocketEventSelector selector;
    RecordingTunnel tunnel;
    NatAcl acl;
    LocalTarget target;
    std::unique_ptr<Forward> forward;
};

TEST_F(GatewayTest, FirstDatagramBeginsCheckingAndGrantsCredit) {
    open(1);
    EXPECT_EQ(client(1)->state(), GatewayTcpForwardClient::State::CHECKING);
    ASSERT_EQ(tunnel.sent.size(), 1u);
    EXPECT_EQ(tunnel.sent[0].kind, Sent::WINDOW);
    EXPECT_EQ(tunnel.sent[0].credit, 0x20000);

    // A DATA as the first datagram does the same.
    forward->connect(2, gt::net::SocketAddress(gt::net::IpAddress(0x01020304u), 5000));
    relaySend(2, "GATE");
    EXPECT_EQ(client(2)->state(), GatewayTcpForwardClient::State::CHECKING);
    EXPECT_TRUE(tunnel.has(Sent::WINDOW, 2));
    EXPECT_EQ(target.accepted(), 0);
}

TEST_F(GatewayTest, AcceptedLoginConnectsAndMasksBothWays) {
    open(1);
    // The login line and the first application bytes in one datagram.
    relaySend(1, "GATEWAY ann secret\r\n" + masked("ping"));
    EXPECT_EQ(tunnel.data(1), "OK\r\n");
    EXPECT_EQ(client(1)->name(), String(u"ann"));
    ASSERT_TRUE(pumpUntil(selector, [&] { return target.accepted() == 1; }));
    ASSERT_TRUE(
        pumpUntil(selector, [&] { return client(1)->state() == GatewayTcpForwardClient::State::CONNECTED; }));
    pumpFor(selector, 20);
    EXPECT_EQ(target.read(0, 4), "ping");
    relaySend(1, masked("more"));
    pumpFor(selector, 20);
    EXPECT_EQ(target.read(0, 4), "more");

    target.write(0, "pong");
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.data(1).size() == 8; }));
    EXPECT_EQ(tunnel.data(1), "OK\r\n" + masked("pong"));
}

TEST_F(GatewayTest, LoginLineSplitOverDatagrams) {
    open(1);
    relaySend(1, "GATEWAY a");
    relaySend(1, "nn sec");
    EXPECT_EQ(tunnel.data(1), "");
    relaySend(1, "ret\r");
    EXPECT_EQ(tunnel.data(1), "");
    relaySend(1, "\n");
    EXPECT_EQ(tunnel.data(1), "OK\r\n");
    ASSERT_TRUE(pumpUntil(selector, [&] { return target.accepted() == 1; }));
}

TEST_F(GatewayTest, RefusedLogins) {
    struct Case {
        std::string line;
        std::string reply;
    } const cases[] = {
        {"gateway ann secret\r\n", "ERROR Invalid method\r\n"},
        {"CONNECT ann secret\r\n", "ERROR Invalid method\r\n"},
        {"GATEWAY ann wrong\r\n", "ERROR Invalid password\r\n"},
        {"GATEWAY Ann secret\r\n", "ERROR Invalid name\r\n"},
        {"GATEWAY old pw\r\n", "ERROR Expired\r\n"},
        {"GATEWAY\r\n", "ERROR Invalid name\r\n"},
        {"GATEWAY ann\r\n", "ERROR Invalid password\r\n"},
        {std::string(1024, 'A'), "ERROR Invalid header\r\n"},
        // A line longer than 1024 bytes is refused even when its CR LF came along.
        {"GATEWAY ann secret " + std::string(1010, 'x') + "\r\n", "ERROR Invalid header\r\n"},
    };
    short id = 1;
    for (Case const& c : cases) {
        open(id);
        relaySend(id, c.line);
        EXPECT_EQ(tunnel.data(id), c.reply) << c.line.substr(0, 40);
        EXPECT_TRUE(tunnel.has(Sent::SHUTDOWN, id)) << c.line.substr(0, 40);
        EXPECT_FALSE(client(id)->isAlive());
        ++id;
    }
    pumpFor(selector, 30);
    EXPECT_EQ(target.accepted(), 0);
}

TEST_F(GatewayTest, LoginLineLengthBoundary) {
    open(1);
    relaySend(1, std::string(1023, 'A'));
    EXPECT_TRUE(client(1)->isAlive());
    EXPECT_EQ(tunnel.data(1), "");
    relaySend(1, "A");
    EXPECT_EQ(tunnel.data(1), "ERROR Invalid header\r\n");

    // Exactly 1024 bytes with CR LF is still a line; a fourth word is ignored.
    open(2);
    std::string line = "GATEWAY ann secret ";
    line += std::string(1024 - 2 - line.size(), 'x') + "\r\n";
    ASSERT_EQ(line.size(), 1024u);
    relaySend(2, line);
    EXPECT_EQ(tunnel.data(2), "OK\r\n");
}

TEST_F(GatewayTest, ReplyNeedsHeldCredit) {
    open(1, 3);
    relaySend(1, "GATEWAY ann secret\r\n");
    EXPECT_EQ(tunnel.data(1), "");
    EXPECT_TRUE(tunnel.has(Sent::SHUTDOWN, 1));
    pumpFor(selector, 30);
    EXPECT_EQ(target.accepted(), 0);
}

TEST_F(GatewayTest, LoginLineCreditIsReturnedWithLaterWrites) {
    open(1);
    std::string const line = "GATEWAY ann secret\r\n";
    relaySend(1, line);
    ASSERT_TRUE(
        pumpUntil(selector, [&] { return client(1)->state() == GatewayTcpForwardClient::State::CONNECTED; }));
    // 65516 bytes more make the sum pass 65535 together with the line.
    relaySend(1, std::string(65536 - line.size(), 'b'));
    ASSERT_TRUE(pumpUntil(selector, [&] { return target.accepted() == 1; }));
    std::string got;
    ASSERT_TRUE(pumpUntil(selector, [&] {
        Binary buffer(65536, 0);
        target.connection(0).setBlocking(false);
        int n = target.connection(0).recv(buffer, 0, 65536);
        if (n > 0) got.append(buffer.data(), n);
        return tunnel.count(Sent::WINDOW, 1) == 2;
    }));
    EXPECT_EQ(tunnel.sent.back().credit, 65536);
}

TEST_F(GatewayTest, PolicyRefreshKeepsUsersWhoHaveNotLoggedInYet) {
    open(1);
    relaySend(1, "GATE");
    forward->onAclChanged();
    EXPECT_TRUE(client(1)->isAlive());
    relaySend(1, "WAY ann secret\r\n");
    EXPECT_EQ(tunnel.data(1), "OK\r\n");
}

TEST_F(GatewayTest, PolicyChangeRechecksLoggedInMembers) {
    open(1);
    relaySend(1, "GATEWAY ann secret\r\n");
    ASSERT_TRUE(
        pumpUntil(selector, [&] { return client(1)->state() == GatewayTcpForwardClient::State::CONNECTED; }));
    forward->onAclChanged();  // nothing changed for ann
    pumpFor(selector, 20);
    EXPECT_FALSE(tunnel.has(Sent::SHUTDOWN, 1));

    Array<Any> members;
    members.add(Any(member("ann", "changed")));
    acl = gatewayAcl(members);
    forward->onAclChanged();
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, 1); }));
    ASSERT_EQ(target.accepted(), 1);
    EXPECT_TRUE(target.closedByPeer(0));
}

TEST_F(GatewayTest, SwitchingTheGatewayOffClosesGatewayClients) {
    open(1);
    acl.gateway = false;
    forward->onAclChanged();
    EXPECT_TRUE(tunnel.has(Sent::SHUTDOWN, 1));
}

TEST_F(GatewayTest, FailedLocalConnectCloses) {
    unsigned short refused;
    {
        gt::net::Socket probe(gt::net::Socket::TYPE_TCP);
        probe.bind(loopback(0));
        refused = probe.localAddress().port();
    }
    String const text = u"127.0.0.1:" + String::fromUtf8(std::to_string(refused).c_str());
    forward.reset(new Forward(&tunnel, &selector, &acl, u"tcp", text));
    open(1);
    relaySend(1, "GATEWAY ann secret\r\n");
    EXPECT_EQ(tunnel.data(1), "OK\r\n");
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, 1); }));
}

TEST_F(GatewayTest, RelayIgnoringCreditWhileConnectingIsCutOff) {
    open(1);
    relaySend(1, "GATEWAY ann secret\r\n");
    for (int i = 0; i < 4 && client(1)->isAlive(); ++i)
        relaySend(1, std::string(65535, 'z'));
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, 1); }));
}

}  // namespace

namespace {

gt::net::SocketAddress publicPeer(unsigned address) {
    return gt::net::SocketAddress(gt::net::IpAddress(address), 5000);
}

}  // namespace

// Public connections that send half a login and wait must not hold the
// channel slots: the login has a deadline, one address may keep only a few
// logins under way, and a full table gives up its oldest unfinished login.
TEST_F(GatewayTest, UnfinishedLoginEndsWithShutdownAtItsDeadline) {
    gt::test::FakeClock clock;
    open(1);
    relaySend(1, "GATEWAY ann sec");
    forward->connect(2, publicPeer(0x01020305u));  // nothing at all after the CONNECT
    open(3);
    relaySend(3, "GATEWAY ann secret\r\n");
    ASSERT_EQ(client(3)->state(), GatewayTcpForwardClient::State::CONNECTING);
    // The forwarder looks once per clean-up interval.
    clock.advance(GatewayTcpForwardClient::LOGIN_TIMEOUT_MS - Forward::CLEANUP_INTERVAL_MS);
    forward->process();
    EXPECT_FALSE(tunnel.has(Sent::SHUTDOWN, 1));
    EXPECT_FALSE(tunnel.has(Sent::SHUTDOWN, 2));
    clock.advance(Forward::CLEANUP_INTERVAL_MS);
    forward->process();
    EXPECT_TRUE(tunnel.has(Sent::SHUTDOWN, 1));
    EXPECT_TRUE(tunnel.has(Sent::SHUTDOWN, 2));
    EXPECT_EQ(forward->clients().find(1), nullptr);
    EXPECT_EQ(forward->clients().find(2), nullptr);
    // The member who logged in stays.
    EXPECT_FALSE(tunnel.has(Sent::SHUTDOWN, 3));
    ASSERT_NE(client(3), nullptr);
    EXPECT_EQ(client(3)->loginTimeLeft(), -1);
}

TEST_F(GatewayTest, OneAddressKeepsOnlyAFewLoginsUnderWay) {
    short id = 1;
    for (; id <= Forward::MAX_LOGINS_PER_PEER; ++id)
        open(id);
    forward->connect(id, publicPeer(0x01020304u));
    EXPECT_TRUE(tunnel.has(Sent::SHUTDOWN, id));
    EXPECT_EQ(forward->clients().find(id), nullptr);
    // Another address logs in as usual.
    short const member = id + 1;
    forward->connect(member, publicPeer(0x05060708u));
    forward->window(member, 0x20000);
    relaySend(member, "GATEWAY ann secret\r\n");
    EXPECT_EQ(tunnel.data(member), "OK\r\n");
    // Once a login of the first address is done, it may start another.
    relaySend(1, "GATEWAY ann secret\r\n");
    forward->connect(id + 2, publicPeer(0x01020304u));
    EXPECT_FALSE(tunnel.has(Sent::SHUTDOWN, id + 2));
}

TEST_F(GatewayTest, FullTableGivesUpItsOldestUnfinishedLogin) {
    gt::test::FakeClock clock;
    forward->setMaxChannels(3);
    for (short id = 1; id <= 3; ++id) {
        forward->connect(id, publicPeer(0x0A000000u + id));
        clock.advance(10);
    }
    forward->connect(4, publicPeer(0x05060708u));
    EXPECT_TRUE(tunnel.has(Sent::SHUTDOWN, 1));
    EXPECT_EQ(forward->clients().find(1), nullptr);
    EXPECT_FALSE(tunnel.has(Sent::SHUTDOWN, 2));
    forward->window(4, 0x20000);
    relaySend(4, "GATEWAY ann secret\r\n");
    EXPECT_EQ(tunnel.data(4), "OK\r\n");
    EXPECT_EQ(forward->channelCount(), 3);
}
