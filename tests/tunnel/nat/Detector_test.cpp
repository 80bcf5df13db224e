#include "tunnel/nat/Detector.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "gt/core/lang/Integer.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/TestRelay.h"
#include "support/Text.h"
#include "support/Wait.h"

using gt::core::Array;
using gt::core::String;
using gt::test::elapsedMs;
using namespace gt::test;
using gt::test::TestRelay;

namespace {
String serverText(unsigned short port) { return String(u"127.0.0.1:") + gt::core::Integer(port).toString(); }

struct Relays {
    std::vector<std::unique_ptr<TestRelay>> relays;
    Array<String> servers;

    // One relay per ping behaviour ("ok delay=..", "never", ...).
    explicit Relays(std::vector<std::string> const& pingReplies) {
        for (auto const& reply : pingReplies) {
            relays.emplace_back(new TestRelay());
            EXPECT_EQ(relays.back()->command("reply ping " + reply), "ok");
            servers.add(serverText(relays.back()->port()));
        }
    }
};

}  // namespace

TEST(Detector, ListsAnswersInOrderOfArrival) {
    Relays r({"ok delay=300", "ok delay=20", "ok delay=160"});
    Array<String> result = tunnel::Detector(5000).detect(r.servers, gt::net::SocketAddress());
    ASSERT_EQ(result.count(), 3);
    EXPECT_EQ(result[0], r.servers[1]);
    EXPECT_EQ(result[1], r.servers[2]);
    EXPECT_EQ(result[2], r.servers[0]);
}

TEST(Detector, SilentServerIsLeftOutAtTheTimeOut) {
    Relays r({"never", "ok"});
    auto const start = std::chrono::steady_clock::now();
    Array<String> result = tunnel::Detector(400).detect(r.servers, gt::net::SocketAddress());
    long long const ms = elapsedMs(start);
    ASSERT_EQ(result.count(), 1);
    EXPECT_EQ(result[0], r.servers[1]);
    EXPECT_GE(ms, 390);   // the time-out was honoured
    EXPECT_LT(ms, 2000);  // and ended the probe
}

TEST(Detector, ReturnsAsSoonAsEveryProbeEnded) {
    Relays r({"error 3 -", "drop"});
    r.servers.add(serverText(unusedPort()));  // refused
    r.servers.add(u"relay.example:5000");     // host name: 0.0.0.0, fails at once
    r.servers.add(u"127.0.0.1:0");            // port 0: fails at once
    auto const start = std::chrono::steady_clock::now();
    Array<String> result = tunnel::Detector(5000).detect(r.servers, gt::net::SocketAddress());
    EXPECT_EQ(result.count(), 0);
    EXPECT_LT(elapsedMs(start), 2500);  // instead of the 5 s probe time-out
}

TEST(Detector, AllImmediateFailuresReturnAtOnce) {
    Array<String> servers;
    servers.add(u"relay.example:5000");
    servers.add(u"0.0.0.0:80");
    auto const start = std::chrono::steady_clock::now();
    EXPECT_EQ(tunnel::Detector(5000).detect(servers, gt::net::SocketAddress()).count(), 0);
    EXPECT_EQ(tunnel::Detector(5000).detect(Array<String>(), gt::net::SocketAddress()).count(), 0);
    EXPECT_LT(elapsedMs(start), 2000);  // instead of the 5 s probe time-out
}

TEST(Detector, AnswerThenCloseCountsOnce) {
    // Counted twice, the first server's answer and close would end the wait
    // before the second server's later answer.
    Relays r({"ok close", "ok delay=300"});
    Array<String> result = tunnel::Detector(5000).detect(r.servers, gt::net::SocketAddress());
    ASSERT_EQ(result.count(), 2);
    EXPECT_EQ(result[0], r.servers[0]);
    EXPECT_EQ(result[1], r.servers[1]);
}

TEST(Detector, CancelEndsTheProbeEarlyWithTheAnswersSoFar) {
    Relays r({"never", "ok"});
    auto const start = std::chrono::steady_clock::now();
    int asked = 0;
    Array<String> result = tunnel::Detector(5000).detect(r.servers, gt::net::SocketAddress(), [&] {
        // Cancelled once the answering server is in.
        return ++asked > 1 && elapsedMs(start) > 200;
    });
    EXPECT_LT(elapsedMs(start), 2000);  // instead of the 5 s time-out
    ASSERT_EQ(result.count(), 1);
    EXPECT_EQ(result[0], r.servers[1]);
}
