#include "tunnel/api/OptimizedHttpClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "gt/core/lang/Integer.h"
#include "gt/core/util/TickClock.h"
#include "support/CloudSupport.h"
#include "support/FakeHttp.h"
#include "tunnel/api/SharedHttpClient.h"

using gt::core::Array;
using gt::core::String;
using gt::net::HttpRequest;
using gt::net::HttpResponse;
using gt::net::SocketAddress;
using gt::test::utf8;
using tunnel::HostOptimizer;
using tunnel::OptimizedHttpClient;
using tunnel::SaOptimizer;

namespace {

unsigned g_ticks = 1000;
unsigned fakeTicks() { return g_ticks; }

// Drives every timer from a clock the test moves.
struct FakeClock {
    FakeClock() { m_previous = gt::core::setTickSource(fakeTicks); }
    ~FakeClock() { gt::core::setTickSource(m_previous); }
    void advance(unsigned ms) { g_ticks += ms; }
    gt::core::TickSource m_previous;
};

TEST(OptimizedHttpClient, NoServerBacksOffAndCountsTheSecondsLeft) {
    FakeClock clock;
    std::atomic<int> probes{0};
    SaOptimizer addresses([&](SocketAddress const&) {
        ++probes;
        return false;
    });
    HostOptimizer hosts(&addresses);
    OptimizedHttpClient client(&hosts, Array<String>().add(u"127.0.0.1:1"), 120000);
    HttpResponse response;
    EXPECT_FALSE(client.request(HttpRequest(), &response, false, 1000));
    EXPECT_EQ(probes.load(), 1);
    EXPECT_TRUE(client.isBackingOff());

    struct Step {
        unsigned advance;
        int seconds;
    };
    Step const steps[] = {{0, 15}, {800, 15}, {200, 14}, {13001, 1}, {998, 1}};
    for (Step const& s : steps) {
        clock.advance(s.advance);
        response.headers.set(u"stale", u"x");
        ASSERT_TRUE(client.request(HttpRequest(), &response, false, 1000));
        EXPECT_EQ(response.statusCode, -1);
        EXPECT_EQ(utf8(response.version), "HTTP/1.1");
        EXPECT_TRUE(response.headers.isEmpty());
        EXPECT_TRUE(response.body.isEmpty());
        EXPECT_EQ(utf8(response.reason), "网络优化中,请等待" + std::to_string(s.seconds) + "秒");
    }
    EXPECT_EQ(probes.load(), 1);

    clock.advance(1);  // 15000 ms after the failed search
    EXPECT_FALSE(client.request(HttpRequest(), &response, false, 1000));
    EXPECT_EQ(probes.load(), 2);
}

TEST(OptimizedHttpClient, WithoutAnOptimizerEveryRequestFails) {
    OptimizedHttpClient client(nullptr, Array<String>().add(u"127.0.0.1:1"), 120000);
    EXPECT_FALSE(client.request(HttpRequest(), nullptr, false, 1000));
    EXPECT_FALSE(client.isBackingOff());
}

HttpRequest pingRequest(unsigned short port) {
    HttpRequest request;
    request.method = u"POST";
    request.target = u"/api/user/util";
    request.version = u"HTTP/1.1";
    request.headers.set(u"Host", gt::test::hostEntry(port));
    request.body = gt::test::bin("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"ping\",\"params\":{}}");
    request.headers.set(u"Content-Length", gt::core::Integer(request.body.length()).toString());
    return request;
}

TEST(OptimizedHttpClient, StatusOutsideTheAnswerRangeDropsTheServerAndRetriesOnce) {
    struct Case {
        int status;
        bool ok;
        int requests;  // reaching the server in the second call
    };
    Case const cases[] = {{302, true, 1}, {399, true, 1}, {404, false, 2}, {500, false, 2}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.status);
        gt::test::TestCloud cloud("tests/peers/cloud_demo_state.json", {"RELAY=127.0.0.1:7000"});
        std::atomic<int> searches{0};
        SaOptimizer addresses([&](SocketAddress const&) {
            ++searches;
            return true;
        });
        HostOptimizer hosts(&addresses);
        OptimizedHttpClient client(&hosts, Array<String>().add(gt::test::hostEntry(cloud.port())), 120000);
        HttpResponse response;
        ASSERT_TRUE(client.request(pingRequest(cloud.port()), &response, false, 3000));
        EXPECT_EQ(response.statusCode, 200);
        EXPECT_EQ(searches.load(), 1);

        ASSERT_EQ(cloud.command("fault status code=" + std::to_string(c.status)).substr(0, 2), "ok");
        EXPECT_EQ(client.request(pingRequest(cloud.port()), &response, false, 3000), c.ok);
        if (c.ok) {
            EXPECT_EQ(response.statusCode, c.status);
        } else {
            EXPECT_EQ(response.statusCode, 200);  // the caller never sees the refused reply
            // but learns why: the server answered, the network is fine.
            EXPECT_EQ(gt::test::utf8(response.reason),
                      "服务器返回了 HTTP " + std::to_string(c.status) + " 错误, 请稍后重试");
        }
        EXPECT_EQ(gt::test::recorded(cloud).count(), 1 + c.requests);
        EXPECT_EQ(searches.load(), c.requests);
        EXPECT_EQ(client.currentServer() != SocketAddress::none(), c.ok);
        EXPECT_FALSE(client.isBackingOff());
    }
}

TEST(SharedHttpClient, ServesThreadsOneAfterTheOther) {
    gt::test::FakeHttp inner;
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    inner.answer = [&](HttpRequest const&, HttpResponse& reply) {
        if (inside.fetch_add(1) != 0) ++overlaps;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        reply.statusCode = 200;
        inside.fetch_sub(1);
        return true;
    };
    tunnel::SharedHttpClient shared(&inner);
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 25; ++i) {
                HttpResponse response;
                if (!shared.request(HttpRequest(), &response, false, 1000) || response.statusCode != 200)
                    ++failures;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(failures.load(), 0);
    EXPECT_FALSE(tunnel::SharedHttpClient(nullptr).request(HttpRequest(), nullptr, false, 1000));
}

}  // namespace
