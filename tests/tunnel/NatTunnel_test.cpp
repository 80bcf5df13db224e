#include "tunnel/NatTunnel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "support/BlockingPeer.h"
#include "support/FakeClock.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/RecordingLog.h"
#include "support/RecordingTunnel.h"
#include "support/TestRelay.h"
#include "support/Text.h"
#include "tunnel/client/DicRpc.h"

using gt::core::Binary;
using gt::core::String;
using gt::test::hex;
using gt::test::pumpUntil;
using gt::test::str;
using gt::test::TestRelay;
using tunnel::NatTunnel;

namespace {

// Kind-2 frames (tunnel datagrams) the relay received on connection 0, as hex.
std::vector<std::string> datagrams(TestRelay& relay) {
    std::vector<std::string> out;
    for (std::string const& body : relay.frames(0))
        if (body.compare(0, 4, "0102") == 0) out.push_back(body.substr(4));
    return out;
}

// Dictionary frames whose "method" is ping.
int pings(TestRelay& relay) {
    int n = 0;
    std::string const method =
        gt::test::hexOf(std::string("method") + '\0' + "\x04" + std::string(3, '\0') + "ping");
    for (std::string const& body : relay.frames(0))
        if (body.compare(0, 4, "0101") == 0 && body.find(method) != std::string::npos) ++n;
    return n;
}

bool hasDatagram(TestRelay& relay, std::string const& hexText) {
    for (std::string const& d : datagrams(relay))
        if (d == hexText) return true;
    return false;
}

class NatTunnelTest : public ::testing::Test {
protected:
    NatTunnelTest() : selector(1000) {}

    void open(std::string const& protocol = "tcp", int targetPort = -1) {
        tunnel::TunnelConfig config;
        config.server = str("127.0.0.1:" + std::to_string(relay.port()));
        config.accessKey = u"key-1";
        config.protocol = str(protocol);
        config.target = str("127.0.0.1:" + std::to_string(targetPort < 0 ? target.port() : targetPort));
        t.reset(new NatTunnel(&selector, config, &acl, gt::net::SocketAddress(), &engineLog));
        t->onConnected = [this] { events.push_back("connected"); };
        t->onError = [this](tunnel::Error const& e) {
            events.push_back("error:" + std::to_string(e.code) + ":" + hex(e.message.toBinary()));
        };
        t->onClosed = [this] { events.push_back("closed"); };
        t->start();
    }

    bool step(std::function<bool()> const& done, int ms = 3000) {
        return pumpUntil(
            selector,
            [&] {
                t->process();
                return done();
            },
            ms);
    }

    void openCreated(std::string const& protocol = "tcp", int targetPort = -1) {
        open(protocol, targetPort);
        ASSERT_TRUE(step([&] { return !events.empty(); }));
        ASSERT_EQ(events, std::vector<std::string>{"connected"});
    }

    TestRelay relay;
    gt::test::LocalTarget target;
    gt::net::SocketEventSelector selector;
    tunnel::NatAcl acl;
    gt::test::RecordingLog recorder;
    tunnel::EngineLog engineLog{&recorder};
    std::unique_ptr<NatTunnel> t;
    std::vector<std::string> events;
};

TEST_F(NatTunnelTest, CreatesTheTunnelWithTheAccessKey) {
    openCreated();
    std::vector<std::string> frames = relay.frames(0);
    ASSERT_FALSE(frames.empty());
    EXPECT_NE(frames[0].find(
                  gt::test::hexOf(std::string("access_id") + '\0' + "\x05" + std::string(3, '\0') + "key-1")),
              std::string::npos);
    EXPECT_TRUE(t->isAlive());
    EXPECT_EQ(t->averagePing(), -1);
}

TEST_F(NatTunnelTest, RefusedTunnelReportsTheServersError) {
    ASSERT_EQ(relay.command("reply tunnel_create error 5 " + gt::test::hexOf("no such key")), "ok");
    open();
    ASSERT_TRUE(step([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<std::string>{"error:5:" + gt::test::hexOf("no such key")});
    EXPECT_FALSE(t->isAlive());
}

TEST_F(NatTunnelTest, UnreachableRelayReportsMinusOne) {
    tunnel::TunnelConfig config;
    config.server = str("relay.example:" + std::to_string(relay.port()));  // not a dotted address: 0.0.0.0
    config.protocol = u"tcp";
    config.target = u"127.0.0.1:1";
    t.reset(new NatTunnel(&selector, config, &acl, gt::net::SocketAddress()));
    t->onError = [this](tunnel::Error const& e) { events.push_back("error:" + std::to_string(e.code)); };
    t->start();
    ASSERT_TRUE(step([&] { return !events.empty(); }));
    EXPECT_EQ(events.front(), "error:-1");
    EXPECT_FALSE(t->isAlive());
}

TEST_F(NatTunnelTest, PingsAtOnceAfterCreationThenEveryThirtySeconds) {
    gt::test::FakeClock clock;
    ASSERT_EQ(relay.command("reply tunnel_create ok delay=50"), "ok");
    open();
    // Not before the tunnel exists.
    for (int i = 0; i < 3; ++i) {
        selector.poll(10);
        t->process();
    }
    EXPECT_EQ(pings(relay), 0);
    ASSERT_TRUE(step([&] { return !events.empty(); }));
    ASSERT_TRUE(step([&] { return t->averagePing() >= 0; }));
    EXPECT_EQ(pings(relay), 1);
    clock.advance(29000);
    t->process();
    selector.poll(50);
    EXPECT_EQ(pings(relay), 1);
    clock.advance(1000);
    ASSERT_TRUE(step([&] { return pings(relay) == 2; }));
}

// A relay that keeps the connection busy but never answers must not hold the
// tunnel for ever: a late tunnel_create fails the tunnel with a text, a late
// ping drops it, and the round trip is never older than the last answer.
TEST_F(NatTunnelTest, LateTunnelCreateFailsWithAText) {
    gt::test::FakeClock clock;
    ASSERT_EQ(relay.command("reply tunnel_create never"), "ok");
    open();
    ASSERT_TRUE(step([&] { return relay.command("conns") == "ok 1" && !relay.frames(0).empty(); }));
    // Valid traffic that is no reply does not extend the deadline.
    for (int i = 0; i < 3; ++i) {
        clock.advance(tunnel::DicRpc::REPLY_TIMEOUT_MS / 3 - 1);
        ASSERT_EQ(relay.command("dict 0 @ " + gt::test::hexOf("notice")), "ok");
        step([] { return false; }, 30);
        EXPECT_TRUE(events.empty());
        EXPECT_TRUE(t->isAlive());
    }
    clock.advance(10);
    ASSERT_TRUE(step([&] { return !events.empty(); }));
    ASSERT_EQ(events.size(), 1u);
    std::string const late = "No reply from the relay server to \"tunnel_create\" within 15 s";
    EXPECT_EQ(events[0], "error:-1:" + gt::test::hexOf(late));
    EXPECT_FALSE(t->isAlive());
    EXPECT_TRUE(step([&] { return relay.command("wait closed 0 10") == "ok"; }));
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(NatTunnelTest, LatePingDropsTheTunnelAndForgetsTheRoundTrip) {
    gt::test::FakeClock clock;
    std::string dropped;
    openCreated();
    t->onDropped = [&](tunnel::Error const& e) { dropped = gt::test::utf8(e.message); };
    ASSERT_TRUE(step([&] { return t->averagePing() >= 0; }));
    ASSERT_EQ(relay.command("reply ping never"), "ok");
    clock.advance(NatTunnel::PING_INTERVAL_MS);
    ASSERT_TRUE(step([&] { return pings(relay) == 2; }));
    clock.advance(tunnel::DicRpc::REPLY_TIMEOUT_MS - 1);
    step([] { return false; }, 30);
    EXPECT_GE(t->averagePing(), 0);
    EXPECT_TRUE(dropped.empty());
    clock.advance(2);
    ASSERT_TRUE(step([&] { return !t->isAlive(); }));
    EXPECT_EQ(dropped, "No reply from the relay server to \"ping\" within 15 s");
    EXPECT_EQ(events, (std::vector<std::string>{"connected", "closed"}));
    EXPECT_EQ(t->averagePing(), -1);
    EXPECT_EQ(relay.command("wait closed 0"), "ok");
}

// The byte at a position of the test stream: no short period, so a gap or a
// repeat anywhere shows as a mismatch.
char streamByte(long long i) { return static_cast<char>((static_cast<unsigned>(i) * 2654435761u) >> 24); }

// A relay that grants a huge window and then stops reading while the local
// service streams: the service must hold back (bounded relay queue, local
// reading stopped) and, once the relay reads again, deliver every byte in
// order, none skipped.
TEST_F(NatTunnelTest, RelayThatStopsReadingHoldsTheLocalSideBackAndLosesNoByte) {
    using gt::net::Socket;
    ASSERT_EQ(relay.command("initial 2147483647"), "ok");
    openCreated();
    std::string const publicPort = relay.command("public 0");
    ASSERT_EQ(publicPort.compare(0, 3, "ok "), 0) << publicPort;
    Socket user(Socket::TYPE_TCP);
    ASSERT_TRUE(
        user.connect(gt::test::loopback(static_cast<unsigned short>(std::stoi(publicPort.substr(3))))));
    ASSERT_TRUE(user.setBlocking(false));
    ASSERT_TRUE(step([&] { return target.accepted() == 1; }));
    Socket& local = target.connection(0);
    ASSERT_TRUE(local.setBlocking(false));
    ASSERT_EQ(relay.command("pause 0"), "ok");

    long long written = 0;
    Binary chunk(65536, 0);
    auto writeSome = [&](long long upTo) {
        int const n = static_cast<int>(std::min<long long>(chunk.length(), upTo - written));
        if (n <= 0) return false;
        for (int i = 0; i < n; ++i)
            chunk.data()[i] = streamByte(written + i);
        int const k = local.send(chunk, 0, n);
        if (k > 0) written += k;
        return k > 0;
    };
    // Stream until the writes stall (nothing taken for half a second of
    // pumping); without back-pressure the service would take everything.
    long long const kCap = 256LL << 20;
    int largestQueue = 0;
    auto lastProgress = std::chrono::steady_clock::now();
    while (written < kCap &&
           std::chrono::steady_clock::now() - lastProgress < std::chrono::milliseconds(500)) {
        bool progressed = false;
        for (int j = 0; j < 16 && writeSome(kCap); ++j)
            progressed = true;
        selector.poll(1);
        t->process();
        largestQueue = std::max(largestQueue, t->relayQueueLength());
        if (progressed) lastProgress = std::chrono::steady_clock::now();
    }
    EXPECT_LT(written, kCap) << "the service kept reading while the relay did not";
    EXPECT_LE(largestQueue, static_cast<int>(NatTunnel::DATA_QUEUE_LIMIT));
    // The queue is seen between turns, after the relay connection took what
    // it could in the turn the bytes were queued; reading stopped at the
    // high-water mark and did not start again above the low one.
    EXPECT_GT(largestQueue, static_cast<int>(NatTunnel::LOW_WATER));
    EXPECT_TRUE(t->isAlive());

    // The relay reads again: the rest of the stream flows and the user gets
    // exactly the bytes written, then the end of the stream.
    ASSERT_EQ(relay.command("resume 0"), "ok");
    long long const total = written + (4LL << 20);
    long long received = 0;
    long long firstMismatch = -1;
    bool ended = false;
    bool localShut = false;
    Binary buffer(65536, 0);
    auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        for (int j = 0; j < 16 && writeSome(total); ++j) {
        }
        if (written == total && !localShut) {
            local.shutdown(Socket::SHUT_SEND);
            localShut = true;
        }
        selector.poll(1);
        t->process();
        EXPECT_LE(t->relayQueueLength(), static_cast<int>(NatTunnel::DATA_QUEUE_LIMIT));
        for (int j = 0; j < 64; ++j) {
            int const k = user.recv(buffer, 0, buffer.length());
            if (k == 0) ended = true;
            if (k <= 0) break;
            for (int i = 0; i < k && firstMismatch < 0; ++i)
                if (buffer.data()[i] != streamByte(received + i)) firstMismatch = received + i;
            received += k;
        }
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(written, total);
    EXPECT_EQ(received, total);
    EXPECT_EQ(firstMismatch, -1);
}

// Every engine line goes to the owner's log, none to standard output; debug
// lines only when asked for, a flood of one line collapsed into a count, and
// a failed local connect with the system's reason.
TEST_F(NatTunnelTest, EngineLinesGoToTheOwnersLog) {
    unsigned short refused = 0;
    {
        gt::net::Socket probe(gt::net::Socket::TYPE_TCP);
        probe.bind(gt::test::loopback(0));
        refused = probe.localAddress().port();
    }  // closed: nothing listens there
    for (bool debug : {false, true}) {
        SCOPED_TRACE(debug ? "debug on" : "debug off");
        t.reset();
        TestRelay fresh;
        engineLog.setDebug(debug);
        testing::internal::CaptureStdout();
        tunnel::TunnelConfig config;
        config.server = str("127.0.0.1:" + std::to_string(fresh.port()));
        config.protocol = u"tcp";
        config.target = str("127.0.0.1:" + std::to_string(refused));
        events.clear();
        t.reset(new NatTunnel(&selector, config, &acl, gt::net::SocketAddress(), &engineLog));
        t->onConnected = [this] { events.push_back("connected"); };
        t->start();
        bool const created = step([&] { return !events.empty(); });
        for (int i = 0; i < 1000; ++i)
            fresh.command("data 0 99 " + gt::test::hexOf("x"));
        fresh.command("connect 0 7 2 1.2.3.4 5000");
        bool const refusedSeen = step([&] { return recorder.count("Connection refused") > 0; });
        step([] { return false; }, 50);
        t.reset();
        engineLog.flush();
        std::string const out = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(created);
        EXPECT_TRUE(refusedSeen);
        EXPECT_EQ(out.find("DEBUG"), std::string::npos) << out.substr(0, 200);
        EXPECT_EQ(recorder.count("Local connect to 127.0.0.1:" + std::to_string(refused) +
                                 " failed: Connection refused (111)"),
                  debug ? 2 : 1);
        if (debug) {
            // The line once, then its count naming it.
            EXPECT_EQ(recorder.count("channelId NOT FOUND"), 2);
            EXPECT_EQ(recorder.count("(last line repeated 999 more times) channelId NOT FOUND"), 1);
        } else {
            EXPECT_EQ(recorder.count("DEBUG"), 0);
        }
    }
}

TEST(NatTunnelAverageTest, FasterSampleReplacesSlowerRaisesByAFifth) {
    double average = -1;
    average = NatTunnel::nextAverage(average, 50);
    EXPECT_DOUBLE_EQ(average, 50);
    average = NatTunnel::nextAverage(average, 100);
    EXPECT_DOUBLE_EQ(average, 60);
    average = NatTunnel::nextAverage(average, 40);
    EXPECT_DOUBLE_EQ(average, 40);
}

TEST_F(NatTunnelTest, ConnectOpensALocalConnectionAndGrantsCredit) {
    openCreated();
    ASSERT_EQ(relay.command("connect 0 7 2 1.2.3.4 5000"), "ok");
    ASSERT_TRUE(step([&] {
        return hasDatagram(relay,
                           "050700"
                           "00000200");
    }));
    EXPECT_EQ(target.accepted(), 1);
    EXPECT_EQ(t->channelCount(), 1);

    ASSERT_EQ(relay.command("data 0 7 " + gt::test::hexOf("hello")), "ok");
    step([] { return false; }, 50);
    EXPECT_EQ(target.read(0, 5), "hello");
    ASSERT_EQ(relay.command("window 0 7 3"), "ok");
    step([] { return false; }, 50);
    target.write(0, "world");
    ASSERT_TRUE(step([&] {
        return hasDatagram(relay,
                           "040700"
                           "0300" +
                               gt::test::hexOf("wor"));
    }));
    ASSERT_EQ(relay.command("shutdown 0 7"), "ok");
    ASSERT_TRUE(step([&] { return hasDatagram(relay, "030700"); }));
    EXPECT_TRUE(target.closedByPeer(0));
}

TEST_F(NatTunnelTest, LocalBytesReachTheRelayInOrderInFramesBelow64KiB) {
    openCreated();
    ASSERT_EQ(relay.command("connect 0 7 2 1.2.3.4 5000"), "ok");
    ASSERT_TRUE(step([&] { return hasDatagram(relay, "05070000000200"); }));
    ASSERT_TRUE(step([&] { return target.accepted() == 1; }));
    ASSERT_EQ(relay.command("window 0 7 1000000"), "ok");
    std::string stream;
    for (int i = 0; i < 150000; ++i)
        stream.push_back(static_cast<char>('a' + i % 26));
    target.write(0, stream);
    std::string got;
    auto collect = [&] {
        got.clear();
        for (std::string const& body : relay.frames(0)) {
            if (body.compare(0, 10, "0102040700") != 0) continue;
            // The whole frame (size field included) stays below 64 KiB.
            EXPECT_LT(body.size() / 2 + 4, 65536u);
            Binary const payload = gt::test::unhex(body.substr(14));
            got.append(payload.data(), static_cast<size_t>(payload.length()));
        }
        return got.size() >= stream.size();
    };
    ASSERT_TRUE(step(collect, 5000));
    EXPECT_TRUE(got == stream);
}

TEST_F(NatTunnelTest, MalformedDatagramsAreIgnored) {
    openCreated();
    // A CONNECT of 9 bytes, a DATA whose length runs past its end, unknown kinds.
    ASSERT_EQ(relay.command("datagram 0 010800020403020100"), "ok");
    ASSERT_EQ(relay.command("datagram 0 0408000500616263"), "ok");
    ASSERT_EQ(relay.command("datagram 0 09080000"), "ok");
    ASSERT_EQ(relay.command("datagram 0 0408"), "ok");
    step([] { return false; }, 100);
    EXPECT_EQ(t->channelCount(), 0);
    EXPECT_TRUE(datagrams(relay).empty());
    // A CONNECT with surplus bytes is acted on.
    ASSERT_EQ(relay.command("datagram 0 01080002040302018813ffff"), "ok");
    ASSERT_TRUE(step([&] { return t->channelCount() == 1; }));
    ASSERT_TRUE(step([&] { return target.accepted() == 1; }));
    EXPECT_EQ(target.connection(0).remoteAddress().address().toString(), String(u"127.0.0.1"));
}

TEST_F(NatTunnelTest, ProtocolMismatchIsRefusedWithAShortShutdown) {
    openCreated("udp");
    ASSERT_EQ(relay.command("connect 0 1 2 1.2.3.4 5000"), "ok");
    ASSERT_TRUE(step([&] { return hasDatagram(relay, "030100"); }));
    EXPECT_EQ(t->channelCount(), 0);
}

TEST_F(NatTunnelTest, HighChannelIdsKeepTheirSixteenBits) {
    openCreated();
    ASSERT_EQ(relay.command("connect 0 65535 2 1.2.3.4 5000"), "ok");
    ASSERT_TRUE(step([&] { return hasDatagram(relay, "05ffff00000200"); }));
    ASSERT_EQ(relay.command("connect 0 32768 3 1.2.3.4 5000"), "ok");
    ASSERT_TRUE(step([&] { return hasDatagram(relay, "030080"); }));
}

TEST_F(NatTunnelTest, RelayClosingACreatedTunnel) {
    openCreated();
    ASSERT_TRUE(step([&] { return t->averagePing() >= 0; }));
    ASSERT_EQ(relay.command("close 0"), "ok");
    ASSERT_TRUE(step([&] { return events.size() == 2; }));
    EXPECT_EQ(events.back(), "closed");
    EXPECT_EQ(t->averagePing(), -1);
    EXPECT_FALSE(t->isAlive());
}

TEST_F(NatTunnelTest, CloseEndsTheTunnel) {
    openCreated();
    t->close();
    ASSERT_TRUE(step([&] { return !t->isAlive(); }));
    EXPECT_EQ(events.back(), "closed");
    EXPECT_EQ(relay.command("wait closed 0"), "ok");
}

}  // namespace
