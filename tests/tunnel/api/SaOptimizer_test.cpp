#include "tunnel/api/SaOptimizer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "tunnel/api/HostOptimizer.h"

using gt::core::Array;
using gt::core::String;
using gt::net::IpAddress;
using gt::net::SocketAddress;
using tunnel::HostOptimizer;
using tunnel::SaOptimizer;

namespace {

SocketAddress address(unsigned short port) { return SocketAddress(IpAddress(u"127.0.0.1"), port); }

Array<SocketAddress> candidates(int n) {
    Array<SocketAddress> list;
    for (int i = 1; i <= n; ++i)
        list.add(address(static_cast<unsigned short>(i)));
    return list;
}

TEST(SaOptimizer, NothingToProbeGivesTheNoneEndpoint) {
    std::atomic<int> probes{0};
    SaOptimizer withTester([&](SocketAddress const&) {
        ++probes;
        return true;
    });
    EXPECT_EQ(withTester.optimize(Array<SocketAddress>()), SocketAddress::none());
    SaOptimizer empty{SaOptimizer::Tester()};
    EXPECT_EQ(empty.optimize(candidates(3)), SocketAddress::none());
    EXPECT_EQ(probes.load(), 0);
}

TEST(SaOptimizer, OnlyAnsweringCandidateWinsAfterTheOthersFailed) {
    std::atomic<int> probes{0};
    SaOptimizer optimizer([&](SocketAddress const& candidate) {
        ++probes;
        return candidate.port() == 4;
    });
    for (int round = 0; round < 5; ++round)
        EXPECT_EQ(optimizer.optimize(candidates(4)), address(4));
    SaOptimizer none([](SocketAddress const&) { return false; });
    EXPECT_EQ(none.optimize(candidates(4)), SocketAddress::none());
}

TEST(SaOptimizer, AtMostThreeProbesRunAtOnce) {
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    SaOptimizer optimizer([&](SocketAddress const&) {
        int now = ++running;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        --running;
        return false;
    });
    EXPECT_EQ(optimizer.optimize(candidates(12)), SocketAddress::none());
    EXPECT_LE(most.load(), 3);
    EXPECT_GE(most.load(), 1);
}

TEST(SaOptimizer, ShuffleSpreadsTheChoiceOverAnsweringCandidates) {
    SaOptimizer optimizer([](SocketAddress const&) { return true; });
    std::set<unsigned short> winners;
    for (int round = 0; round < 60; ++round)
        winners.insert(optimizer.optimize(candidates(3)).port());
    EXPECT_GE(winners.size(), 2u);
}

TEST(HostOptimizer, EntriesGiveTheirPortOr80) {
    struct Case {
        char16_t const* entry;
        int count;
        unsigned short port;
    };
    Case const cases[] = {
        {u"127.0.0.1:8080", 1, 8080}, {u"127.0.0.1", 1, 80},      {u"127.0.0.1:", 1, 80},
        {u"127.0.0.1:abc", 1, 0},     {u"127.0.0.1:70000", 1, 0}, {u":8080", 0, 0},
    };
    for (Case const& c : cases) {
        Array<SocketAddress> found = HostOptimizer::candidates(c.entry);
        ASSERT_EQ(found.count(), c.count);
        if (c.count) {
            EXPECT_EQ(found[0].port(), c.port);
        }
    }
}

TEST(HostOptimizer, TriesEntriesInOrderAndSkipsThoseWithoutAnAnswer) {
    std::vector<unsigned short> probed;
    SaOptimizer optimizer([&](SocketAddress const& candidate) {
        probed.push_back(candidate.port());
        return candidate.port() == 9002;
    });
    HostOptimizer hosts(&optimizer);
    Array<String> entries;
    entries.add(u":1").add(u"127.0.0.1:9001").add(u"127.0.0.1:9002").add(u"127.0.0.1:9003");
    EXPECT_EQ(hosts.optimize(entries), address(9002));
    EXPECT_EQ(probed, (std::vector<unsigned short>{9001, 9002}));
    EXPECT_EQ(HostOptimizer(nullptr).optimize(entries), SocketAddress::none());
}

}  // namespace
