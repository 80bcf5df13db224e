// A forward worker against the Python relay double and local target doubles:
// public users reach the local target through the whole engine.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "gt/core/util/Any.h"
#include "gt/core/util/DateTime.h"
#include "gt/core/util/MD5.h"
#include "gt/util/ThreadSafeLogRecorder.h"
#include "support/BlockingPeer.h"
#include "support/RecordingLog.h"
#include "support/TestRelay.h"
#include "support/TestTarget.h"
#include "support/Text.h"
#include "support/Wait.h"
#include "tunnel/forward/ForwardClient.h"
#include "tunnel/forward/tcp/GatewayTcpForwardClient.h"
#include "tunnel/nat/NatManager.h"

using namespace gt::test;
using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;
using gt::test::str;
using gt::test::TestRelay;
using gt::test::TestTarget;
// A public user of a forward: a blocking connection to the relay's public port.
using PublicClient = gt::test::BlockingPeer;

namespace {

std::string hostPort(unsigned short port, char const* host = "127.0.0.1") {
    return std::string(host) + ":" + std::to_string(port);
}

std::string masked(std::string bytes) {
    for (char& c : bytes)
        c ^= tunnel::GatewayTcpForwardClient::MASK;
    return bytes;
}

std::string pattern(size_t n) {
    std::string out(n, '\0');
    unsigned x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<char>(x >> 16);
    }
    return out;
}

std::vector<std::string> words(std::string const& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    std::string w;
    while (in >> w)
        out.push_back(w);
    return out;
}

class EndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { echo = new TestTarget("echo"); }
    static void TearDownTestSuite() {
        delete echo;
        echo = nullptr;
    }

    EndToEndTest() : log(&recorder) {}
    ~EndToEndTest() override { manager.reset(); }

    // A worker for forward 1 with the relay as its primary server.
    void startWorker(std::string const& target, Dictionary<Any> const& acl = Dictionary<Any>()) {
        manager.reset(new tunnel::NatManager(&log, gt::net::SocketAddress()));
        worker = manager->create(1);
        ASSERT_NE(worker, nullptr);
        worker->setAccessKey(u"access-key-1");
        worker->setTarget(u"tcp", str(target));
        worker->setAcl(acl);
        Array<String> servers;
        servers.add(str(hostPort(relay.port())));
        worker->setPrimaryServers(servers);
    }

    // The public port of the newest tunnel once there is one newer than the
    // last one seen.
    unsigned short publicPort() {
        std::vector<std::string> answer;
        bool const found = waitFor(
            [&] {
                answer = words(relay.command("tunnel"));
                return answer.size() == 3 && answer[0] == "ok" && std::stoi(answer[1]) > m_lastTunnel;
            },
            10000);
        EXPECT_TRUE(found) << "no new tunnel";
        if (!found) return 0;
        m_lastTunnel = std::stoi(answer[1]);
        return static_cast<unsigned short>(std::stoi(answer[2]));
    }
    int lastTunnel() const { return m_lastTunnel; }

    int echoConnections() { return echo->connections(); }

    static TestTarget* echo;
    TestRelay relay;
    RecordingLog recorder;
    gt::util::ThreadSafeLogRecorder log;
    std::unique_ptr<tunnel::NatManager> manager;
    tunnel::Nat* worker = nullptr;
    int m_lastTunnel = -1;
};

TestTarget* EndToEndTest::echo = nullptr;

TEST_F(EndToEndTest, BytesComeBackIntactAndValuesArePublished) {
    startWorker(hostPort(echo->port()));
    PublicClient user(publicPort());
    ASSERT_TRUE(user.write("x"));
    EXPECT_EQ(user.read(1), "x");
    EXPECT_TRUE(waitFor([&] { return worker->channels() == 1; }, 10000));
    EXPECT_TRUE(waitFor([&] { return worker->ping() >= 0; }, 10000));
    EXPECT_EQ(worker->error(), String());

    std::string const big = pattern(8 * 1024 * 1024);
    std::thread writer([&] { user.write(big); });
    std::string const back = user.read(big.size());
    writer.join();
    ASSERT_EQ(back.size(), big.size());
    EXPECT_TRUE(back == big);
    // The engine never sent beyond the credit the relay gave it.
    std::vector<std::string> stats = words(relay.command("stats " + std::to_string(lastTunnel()) + " 1"));
    ASSERT_EQ(stats.size(), 5u);
    EXPECT_EQ(stats[1], std::to_string(big.size() + 1));
    EXPECT_EQ(stats[2], std::to_string(big.size() + 1));
    EXPECT_EQ(stats[4], "0");

    // Closing the public end closes the local one, and the channel goes.
    int const index = echoConnections() - 1;
    user.close();
    EXPECT_EQ(echo->command("wait closed " + std::to_string(index) + " 5000"), "ok");
    EXPECT_TRUE(waitFor([&] { return worker->channels() == 0; }, 10000));
    EXPECT_EQ(relay.command("wait channels " + std::to_string(lastTunnel()) + " 0"), "ok");
}

TEST_F(EndToEndTest, ClosingTheLocalEndClosesThePublicOne) {
    startWorker(hostPort(echo->port()));
    PublicClient user(publicPort());
    ASSERT_TRUE(user.write("hello"));
    EXPECT_EQ(user.read(5), "hello");
    int const index = echoConnections() - 1;
    EXPECT_EQ(echo->command("close " + std::to_string(index)), "ok");
    EXPECT_TRUE(user.ended());
}

TEST_F(EndToEndTest, RemovingTheWorkerClosesTunnelAndLocalConnectionsAtOnce) {
    startWorker(hostPort(echo->port()));
    PublicClient user(publicPort());
    ASSERT_TRUE(user.write("x"));
    ASSERT_EQ(user.read(1), "x");
    int const index = echoConnections() - 1;
    auto const start = std::chrono::steady_clock::now();
    manager->remove(1);
    // Ten times the worker's 100 ms look at its stop flag; a wait for its 1 s
    // tick or a pause would pass it.
    EXPECT_LT(elapsedMs(start), 1000);
    EXPECT_EQ(manager->get(1), nullptr);
    EXPECT_EQ(echo->command("wait closed " + std::to_string(index) + " 3000"), "ok");
    EXPECT_EQ(relay.command("wait closed " + std::to_string(lastTunnel()) + " 3000"), "ok");
    EXPECT_TRUE(user.ended());
}

TEST_F(EndToEndTest, RelayStoppingToReadLosesNothing) {
    startWorker(hostPort(echo->port()));
    PublicClient user(publicPort());
    ASSERT_TRUE(user.write("a"));
    ASSERT_EQ(user.read(1), "a");
    ASSERT_EQ(relay.command("pause " + std::to_string(lastTunnel())), "ok");
    std::string const data = pattern(1024 * 1024);
    std::thread writer([&] { user.write(data); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(relay.command("resume " + std::to_string(lastTunnel())), "ok");
    std::string const back = user.read(data.size());
    writer.join();
    EXPECT_TRUE(back == data);
}

TEST_F(EndToEndTest, RelayIgnoringCreditGetsTheChannelShutDown) {
    TestTarget hold("hold");
    startWorker(hostPort(hold.port()));
    PublicClient user(publicPort());
    ASSERT_EQ(relay.command("credit ignore"), "ok");
    ASSERT_TRUE(user.write("start"));
    ASSERT_EQ(hold.command("wait conns 1 5000"), "ok");
    // The target reads nothing; the relay pushes everything at the engine.
    std::thread writer([&] { user.write(std::string(8 * 1024 * 1024, 'f')); });
    EXPECT_TRUE(user.ended());
    user.socket().shutdown(gt::net::Socket::SHUT_BOTH);
    writer.join();
    EXPECT_EQ(relay.command("wait channels " + std::to_string(lastTunnel()) + " 0"), "ok");
    EXPECT_TRUE(waitFor([&] { return worker->channels() == 0; }, 10000));
}

TEST_F(EndToEndTest, GarbageFromTheRelayIsIgnored) {
    startWorker(hostPort(echo->port()));
    PublicClient user(publicPort());
    std::string const conn = std::to_string(lastTunnel());
    ASSERT_EQ(relay.command("datagram " + conn + " ff0100"), "ok");        // unknown kind
    ASSERT_EQ(relay.command("datagram " + conn + " 0401000900"), "ok");    // DATA shorter than its length
    ASSERT_EQ(relay.command("frame " + conn + " 0201ffff"), "ok");         // wrong version
    ASSERT_EQ(relay.command("datagram " + conn + " 0563000000"), "ok");    // short WINDOW
    ASSERT_EQ(relay.command("datagram " + conn + " 04630001007a"), "ok");  // DATA for an unknown channel
    ASSERT_TRUE(user.write("still here"));
    EXPECT_EQ(user.read(10), "still here");
}

TEST_F(EndToEndTest, WhiteListRefusesAPeerAndAChangedPolicyLetsItIn) {
    Dictionary<Any> ip;
    ip.set(u"white", Any(String(u"10.*")));
    Dictionary<Any> acl;
    acl.set(u"ip_filter", Any(String(u"enabled_white")));
    acl.set(u"ip", Any(ip));
    int const before = echoConnections();
    startWorker(hostPort(echo->port()), acl);
    unsigned short const port = publicPort();
    PublicClient refused(port);
    EXPECT_TRUE(refused.ended());
    EXPECT_EQ(echoConnections(), before);

    ip.set(u"white", Any(String(u" 10.*; 127.0.0.* ")));
    acl.set(u"ip", Any(ip));
    worker->setAcl(acl);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    PublicClient allowed(port);
    ASSERT_TRUE(allowed.write("in"));
    EXPECT_EQ(allowed.read(2), "in");
}

TEST_F(EndToEndTest, GatewayLogin) {
    auto member = [](char const* name, char const* password, long long expire) {
        Dictionary<Any> m;
        m.set(u"name", Any(str(name)));
        m.set(u"pwd", Any(gt::core::md5Hex(gt::core::Binary(password))));
        m.set(u"state", Any(String(u"enabled")));
        m.set(u"expire_time", Any(expire));
        return Any(m);
    };
    Array<Any> members;
    members.add(member("ann", "secret", 0));
    members.add(member("old", "pw", gt::core::DateTime::now().seconds() - 60));
    Dictionary<Any> acl;
    acl.set(u"gateway", Any(String(u"enabled")));
    acl.set(u"members", Any(members));
    startWorker(hostPort(echo->port()), acl);
    unsigned short const port = publicPort();

    {
        PublicClient user(port);
        ASSERT_TRUE(user.write("GATEWAY ann secret\r\n" + masked("echo me")));
        EXPECT_EQ(user.read(4), "OK\r\n");
        EXPECT_EQ(user.read(7), masked("echo me"));
    }
    struct Case {
        std::string line;
        std::string reply;
    } const cases[] = {
        {"gateway ann secret\r\n", "ERROR Invalid method\r\n"},
        {"GATEWAY ann nope\r\n", "ERROR Invalid password\r\n"},
        {"GATEWAY bob secret\r\n", "ERROR Invalid name\r\n"},
        {"GATEWAY old pw\r\n", "ERROR Expired\r\n"},
        {std::string(1100, 'G'), "ERROR Invalid header\r\n"},
    };
    for (Case const& c : cases) {
        PublicClient user(port);
        ASSERT_TRUE(user.write(c.line));
        EXPECT_EQ(user.read(c.reply.size()), c.reply) << c.line.substr(0, 30);
        EXPECT_TRUE(user.ended()) << c.line.substr(0, 30);
    }
}

TEST_F(EndToEndTest, RefusedTunnelIsPublishedAsTheError) {
    ASSERT_EQ(relay.command("reply tunnel_create error 7 6b657920726576"), "ok");  // "key rev"
    startWorker(hostPort(echo->port()));
    EXPECT_TRUE(waitFor([&] { return worker->error() == String(u"key rev"); }, 10000));
    // The worker thread publishes the error and logs the line one after the
    // other: wait for the line too.
    EXPECT_TRUE(
        waitFor([&] { return recorder.count("[Tunnel] Failed to open tunnel: 7-key rev") >= 1; }, 10000));
}

class EndToEndDropTest : public EndToEndTest, public ::testing::WithParamInterface<char const*> {};

TEST_P(EndToEndDropTest, RelayDroppingTheTunnelMakesTheWorkerReconnect) {
    startWorker(hostPort(echo->port()));
    PublicClient user(publicPort());
    ASSERT_TRUE(user.write("1"));
    ASSERT_EQ(user.read(1), "1");
    ASSERT_EQ(relay.command("drop " + std::to_string(lastTunnel()) + " " + GetParam()), "ok");
    EXPECT_TRUE(user.ended());
    EXPECT_TRUE(waitFor([&] { return recorder.count("[Tunnel] Tunnel closed.") == 1; }, 10000));
    PublicClient again(publicPort());
    ASSERT_TRUE(again.write("2"));
    EXPECT_EQ(again.read(1), "2");
}

INSTANTIATE_TEST_SUITE_P(FinAndReset, EndToEndDropTest, ::testing::Values("fin", "rst"));

TEST_F(EndToEndTest, TargetChangeReconnectsAndTheSameTargetDoesNot) {
    startWorker(hostPort(echo->port()));
    PublicClient user(publicPort());
    ASSERT_TRUE(user.write("a"));
    ASSERT_EQ(user.read(1), "a");

    worker->setTarget(u"tcp", str(hostPort(echo->port())));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(relay.command("conns"), "ok " + std::to_string(lastTunnel() + 1));
    EXPECT_EQ(recorder.count("DEBUG: DISCONNNECT!"), 0);

    // The loopback host shows the public peer 127.0.0.1 as 127.127.0.0.
    worker->setTarget(u"tcp", str(hostPort(echo->port(), "loopback")));
    EXPECT_TRUE(user.ended());
    EXPECT_TRUE(waitFor([&] { return recorder.count("DEBUG: DISCONNNECT!") == 1; }, 10000));
    PublicClient next(publicPort());
    ASSERT_TRUE(next.write("b"));
    ASSERT_EQ(next.read(1), "b");
    std::vector<std::string> peer = words(echo->command("peer " + std::to_string(echoConnections() - 1)));
    ASSERT_EQ(peer.size(), 3u);
    EXPECT_EQ(peer[1], "127.127.0.0");
    EXPECT_EQ(std::stoi(peer[2]) & 0xFF, 1);
    EXPECT_GE(std::stoi(peer[2]), 1024);
}

}  // namespace
