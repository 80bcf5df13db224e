#include "tunnel/forward/Forward.h"

#include <gtest/gtest.h>

#include "gt/core/util/Any.h"
#include "gt/net/socket/Socket.h"
#include "support/BlockingPeer.h"
#include "support/Pump.h"
#include "support/RecordingTunnel.h"
#include "tunnel/forward/tcp/StandardTcpForwardClient.h"

using namespace gt::test;
using gt::core::Any;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;
using tunnel::Forward;
using tunnel::ForwardClient;
using tunnel::NatAcl;

namespace {

String targetText(unsigned short port, char const* host = "127.0.0.1") {
    return String::fromUtf8(host) + u":" + String::fromUtf8(std::to_string(port).c_str());
}

gt::net::SocketAddress peer(char const* dotted, unsigned short port = 40000) {
    return gt::net::SocketAddress(gt::net::IpAddress(String::fromUtf8(dotted)), port);
}

class ForwardTest : public ::testing::Test {
protected:
    ForwardTest() : selector(50) {}

    void makeForward(String const& target, String const& protocol = u"tcp") {
        forward.reset(new Forward(&tunnel, &selector, &acl, protocol, target));
    }
    void makeForward() { makeForward(targetText(target.port())); }

    // CONNECT and wait for the local side to be up (its WINDOW).
    void open(short id, char const* from = "203.0.113.7") {
        forward->connect(id, peer(from));
        ASSERT_TRUE(pumpUntil(
            selector, [&] { return tunnel.has(Sent::WINDOW, id) || tunnel.has(Sent::SHUTDOWN, id); }));
        ASSERT_TRUE(tunnel.has(Sent::WINDOW, id));
    }

    gt::net::SocketEventSelector selector;
    RecordingTunnel tunnel;
    NatAcl acl;
    LocalTarget target;
    std::unique_ptr<Forward> forward;
};

TEST_F(ForwardTest, ConnectGrantsTheInitialWindowOnce) {
    makeForward();
    open(5);
    EXPECT_EQ(target.accepted(), 1);
    ASSERT_EQ(tunnel.sent.size(), 1u);
    EXPECT_EQ(tunnel.sent[0].credit, 0x20000);
    EXPECT_EQ(forward->channelCount(), 1);
}

TEST_F(ForwardTest, BytesFlowBothWaysWithinCredit) {
    makeForward();
    open(1);
    ASSERT_TRUE(pumpUntil(selector, [&] { return target.accepted() == 1; }));
    Binary hello = bin("hello");
    forward->send(1, hello);
    pumpFor(selector, 20);
    EXPECT_EQ(target.read(0, 5), "hello");

    // Nothing is read from the local side before the relay grants credit.
    target.write(0, "0123456789");
    pumpFor(selector, 50);
    EXPECT_EQ(tunnel.data(1), "");
    forward->window(1, 4);
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.data(1).size() == 4; }));
    pumpFor(selector, 30);
    EXPECT_EQ(tunnel.data(1), "0123");
    forward->window(1, 100);
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.data(1).size() == 10; }));
    EXPECT_EQ(tunnel.data(1), "0123456789");
}

TEST_F(ForwardTest, DataAndCreditBeforeTheConnectAreDeliveredAfterIt) {
    makeForward();
    forward->connect(2, peer("1.2.3.4"));
    Binary first = bin("first-"), second = bin("second");
    forward->send(2, first);
    forward->window(2, 3);
    forward->send(2, second);
    ASSERT_TRUE(pumpUntil(selector, [&] { return target.accepted() == 1 && tunnel.has(Sent::WINDOW, 2); }));
    Binary third = bin("-third");
    forward->send(2, third);
    pumpFor(selector, 20);
    EXPECT_EQ(target.read(0, 18), "first-second-third");
    target.write(0, "abcdef");
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.data(2).size() == 3; }));
    pumpFor(selector, 30);
    EXPECT_EQ(tunnel.data(2), "abc");
}

TEST_F(ForwardTest, WrittenBytesComeBackAsCreditInPortionsAbove65535) {
    makeForward();
    open(3);
    ASSERT_TRUE(pumpUntil(selector, [&] { return target.accepted() == 1; }));
    Binary block(65535, 'x');
    forward->send(3, block);
    // Drain on the target while the loop runs.
    std::string got;
    ASSERT_TRUE(pumpUntil(selector, [&] {
        gt::core::Binary buffer(65536, 0);
        target.connection(0).setBlocking(false);
        int n = target.connection(0).recv(buffer, 0, 65536);
        if (n > 0) got.append(buffer.data(), n);
        return got.size() == 65535;
    }));
    pumpFor(selector, 30);
    EXPECT_EQ(tunnel.count(Sent::WINDOW, 3), 1);  // only the initial one
    Binary one = bin("y");
    forward->send(3, one);
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.count(Sent::WINDOW, 3) == 2; }));
    EXPECT_EQ(tunnel.sent.back().credit, 65536);
}

TEST_F(ForwardTest, RelayShutdownClosesTheLocalSideGracefullyAndIsAnswered) {
    makeForward();
    open(4);
    ASSERT_TRUE(pumpUntil(selector, [&] { return target.accepted() == 1; }));
    Binary tail = bin("tail");
    forward->send(4, tail);
    forward->shutdown(4);
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, 4); }));
    EXPECT_EQ(target.read(0, 4), "tail");
    EXPECT_TRUE(target.closedByPeer(0));
    EXPECT_FALSE(forward->clients().find(4)->isAlive());
}

TEST_F(ForwardTest, LocalCloseSendsShutdown) {
    makeForward();
    open(6);
    ASSERT_TRUE(pumpUntil(selector, [&] { return target.accepted() == 1; }));
    target.connection(0).shutdown(gt::net::Socket::SHUT_BOTH);
    forward->window(6, 100);
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, 6); }));
}

TEST_F(ForwardTest, FailedLocalConnectsEndInShutdown) {
    // A port that refuses, an unresolvable target, and a source address that
    // cannot be bound: each must reach the relay as a SHUTDOWN.
    unsigned short refused;
    {
        gt::net::Socket probe(gt::net::Socket::TYPE_TCP);
        probe.bind(loopback(0));
        refused = probe.localAddress().port();
    }
    String const targets[] = {targetText(refused), targetText(target.port(), "0.0.0.0")};
    short id = 10;
    for (String const& t : targets) {
        makeForward(t);
        forward->connect(id, peer("1.2.3.4"));
        EXPECT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, id); })) << id;
        EXPECT_FALSE(tunnel.has(Sent::WINDOW, id)) << id;
        ++id;
    }
    EXPECT_EQ(target.accepted(), 0);
}

TEST_F(ForwardTest, ClientWhoseBindFailsAtOnceStillReportsFailure) {
    // 192.0.2.1 is not an address of this machine: the bind fails while the
    // client starts, before any event.
    tunnel::StandardTcpForwardClient client(&selector, &acl, 7, loopback(target.port()),
                                            gt::net::SocketAddress(gt::net::IpAddress(0xC0000201u), 0),
                                            peer("1.2.3.4"));
    int calls = 0;
    bool result = true;
    client.onConnect = [&](bool ok) {
        ++calls;
        result = ok;
    };
    client.start();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(result);
    EXPECT_FALSE(client.isAlive());
}

TEST_F(ForwardTest, RelayShutdownWhileConnectingCancelsAndIsAnswered) {
    makeForward();
    forward->connect(8, peer("1.2.3.4"));
    forward->shutdown(8);
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, 8); }));
    EXPECT_FALSE(tunnel.has(Sent::WINDOW, 8));
}

TEST_F(ForwardTest, LoopbackTargetConnectsFromThePeersAddress) {
    makeForward(targetText(target.port(), "LoopBack"));
    open(9, "203.0.113.7");
    ASSERT_TRUE(pumpUntil(selector, [&] { return target.accepted() == 1; }));
    gt::net::SocketAddress from = target.connection(0).remoteAddress();
    EXPECT_EQ(from.address().toString(), String(u"127.203.0.113"));
    EXPECT_EQ(from.port() & 0xFF, 7);
    EXPECT_GE(from.port(), 1024);
}

TEST_F(ForwardTest, SourceAddressRule) {
    for (int i = 0; i < 200; ++i) {
        gt::net::SocketAddress a = Forward::sourceAddress(u"loopback:80", peer("10.20.30.3"));
        EXPECT_EQ(a.address().toString(), String(u"127.10.20.30"));
        EXPECT_EQ(a.port() & 0xFF, 3);
        ASSERT_GE(a.port(), 1024);
    }
    EXPECT_EQ(Forward::sourceAddress(u"192.168.1.5:22", peer("10.20.30.3")), gt::net::SocketAddress());
    EXPECT_EQ(Forward::sourceAddress(u"loopbacks:22", peer("10.20.30.3")), gt::net::SocketAddress());
}

TEST_F(ForwardTest, BusyLoopbackSourcePortIsRetriedWithAnother) {
    // Occupy the source port that the first attempt will use; the connector
    // must try another one with the same low byte.
    gt::net::Socket blocker(gt::net::Socket::TYPE_TCP);
    gt::net::SocketAddress busy(gt::net::IpAddress(0x7F050607u), 0);
    ASSERT_TRUE(blocker.bind(busy));
    busy = blocker.localAddress();
    gt::net::SocketAddress bind = busy;
    tunnel::LocalConnector connector(&selector);
    gt::net::Socket connected(0);
    bool done = false;
    connector.connect(loopback(target.port()), &bind, [&](gt::net::Socket* s) {
        done = true;
        if (s) connected.swap(*s);
    });
    ASSERT_TRUE(pumpUntil(selector, [&] { return done; }));
    ASSERT_TRUE(connected.isValid());
    EXPECT_NE(bind.port(), busy.port());
    EXPECT_EQ(bind.port() & 0xFF, busy.port() & 0xFF);
    EXPECT_GE(bind.port(), 1024);
    EXPECT_EQ(connected.localAddress(), bind);
}

TEST_F(ForwardTest, SecondConnectOnALiveChannelIsRefused) {
    makeForward();
    open(11);
    ForwardClient* first = forward->clients().find(11);
    forward->connect(11, peer("5.5.5.5"));
    EXPECT_TRUE(tunnel.has(Sent::SHUTDOWN, 11));
    EXPECT_EQ(forward->clients().find(11), first);
    EXPECT_TRUE(first->isAlive());
}

TEST_F(ForwardTest, ConnectOnADeadChannelReplacesIt) {
    makeForward();
    open(12);
    forward->shutdown(12);
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, 12); }));
    EXPECT_EQ(forward->channelCount(), 1);  // dead, awaiting the clean-up
    tunnel.sent.clear();
    open(12);
    EXPECT_TRUE(forward->clients().find(12)->isAlive());
    EXPECT_EQ(forward->channelCount(), 1);
}

TEST_F(ForwardTest, CleanupRemovesClosedChannelsWithinASecond) {
    makeForward();
    open(13);
    forward->shutdown(13);
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, 13); }));
    EXPECT_EQ(forward->channelCount(), 1);
    EXPECT_TRUE(pumpUntil(
        selector,
        [&] {
            forward->process();
            return forward->channelCount() == 0;
        },
        2000));
}

TEST_F(ForwardTest, UdpForwardRefusesEveryChannel) {
    makeForward(targetText(target.port()), u"udp");
    forward->connect(14, peer("1.2.3.4"));
    EXPECT_TRUE(tunnel.has(Sent::SHUTDOWN, 14));
    EXPECT_EQ(forward->channelCount(), 0);
}

TEST_F(ForwardTest, ChannelCapRefusesFurtherConnects) {
    makeForward();
    short const cap = 8;
    forward->setMaxChannels(cap);
    for (short id = 0; id < cap; ++id)
        forward->connect(id, peer("1.2.3.4"));
    EXPECT_EQ(forward->channelCount(), cap);
    forward->connect(cap, peer("1.2.3.4"));
    EXPECT_TRUE(tunnel.has(Sent::SHUTDOWN, cap));
    EXPECT_EQ(forward->channelCount(), cap);
    // A closed channel frees its place at once.
    forward->shutdown(0);
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, 0); }));
    tunnel.sent.clear();
    forward->connect(cap + 1, peer("1.2.3.4"));
    EXPECT_FALSE(tunnel.has(Sent::SHUTDOWN, cap + 1));
    EXPECT_EQ(forward->channelCount(), cap);
}

TEST_F(ForwardTest, RelayIgnoringCreditWhileConnectingIsCutOff) {
    makeForward();
    forward->connect(15, peer("1.2.3.4"));
    Binary block(65535, 'z');
    for (int i = 0; i < 4; ++i) {
        Binary copy(block);
        forward->send(15, copy);
    }
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, 15); }));
    EXPECT_FALSE(tunnel.has(Sent::WINDOW, 15));
}

TEST_F(ForwardTest, RelayIgnoringCreditOnAStalledTargetIsCutOff) {
    makeForward();
    open(16);
    ASSERT_TRUE(pumpUntil(selector, [&] { return target.accepted() == 1; }));
    // The target never reads; the relay keeps sending far beyond its credit.
    auto* client = static_cast<tunnel::StandardTcpForwardClient*>(forward->clients().find(16));
    int maxUnwritten = 0;
    for (int i = 0; i < 200 && !tunnel.has(Sent::SHUTDOWN, 16); ++i) {
        Binary block(60000, 'q');
        forward->send(16, block);
        maxUnwritten = std::max(maxUnwritten, client->unwritten());
        selector.poll(1);
    }
    EXPECT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, 16); }));
    EXPECT_LE(maxUnwritten, ForwardClient::MAX_UNWRITTEN + 60000);
}

class ForwardFilterTest : public ForwardTest {
protected:
    void setFilter(char const* filter, char const* list) {
        Dictionary<Any> ip;
        ip.set(u"white", Any(String::fromUtf8(list)));
        ip.set(u"black", Any(String::fromUtf8(list)));
        Dictionary<Any> policy;
        policy.set(u"ip_filter", Any(String::fromUtf8(filter)));
        policy.set(u"ip", Any(ip));
        acl = NatAcl::parse(policy);
    }
};

TEST_F(ForwardFilterTest, WhiteAndBlackLists) {
    struct Case {
        char const* filter;
        char const* list;
        char const* peer;
        bool accepted;
    } const cases[] = {
        {"enabled_white", "10.0.*", "10.0.3.4", true},  {"enabled_white", "10.0.*", "10.1.0.1", false},
        {"enabled_white", "", "10.0.3.4", false},       {"enabled_black", "", "10.0.3.4", true},
        {"enabled_black", "10.0.*", "10.0.3.4", false}, {"none", "10.0.*", "10.0.3.4", true},
    };
    short id = 100;
    for (Case const& c : cases) {
        setFilter(c.filter, c.list);
        makeForward();
        forward->connect(id, peer(c.peer));
        EXPECT_EQ(forward->channelCount(), c.accepted ? 1 : 0) << c.filter << " " << c.peer;
        EXPECT_EQ(tunnel.has(Sent::SHUTDOWN, id), !c.accepted) << c.filter << " " << c.peer;
        ++id;
    }
}

TEST_F(ForwardFilterTest, PolicyChangeShutsRefusedPeersDown) {
    setFilter("enabled_white", "10.0.*;10.9.9.9");
    makeForward();
    open(1, "10.0.3.4");
    open(2, "10.9.9.9");
    setFilter("enabled_white", "10.0.*");
    forward->onAclChanged();
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, 2); }));
    pumpFor(selector, 30);
    EXPECT_FALSE(tunnel.has(Sent::SHUTDOWN, 1));
    EXPECT_TRUE(forward->clients().find(1)->isAlive());
}

TEST_F(ForwardFilterTest, StandardClientClosesWhenTheGatewayIsSwitchedOn) {
    makeForward();
    open(1);
    acl.gateway = true;
    forward->onAclChanged();
    ASSERT_TRUE(pumpUntil(selector, [&] { return tunnel.has(Sent::SHUTDOWN, 1); }));
}

}  // namespace
