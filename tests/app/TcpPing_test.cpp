#include "app/TcpPing.h"

#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "gt/core/lang/Binary.h"
#include "support/Descriptors.h"
#include "support/Loopback.h"
#include "support/Wait.h"

namespace {

using gt::net::Socket;
using gt::net::SocketAddress;
using gt::test::Blackhole;
using gt::test::elapsedMs;
using gt::test::Listener;
using gt::test::loopback;
using gt::test::openDescriptors;
using gt::test::unusedPort;
using tunnel::TcpPing;

// The probe's connection as the target sees it: accepted, then ended with a
// normal close (end of file), not a reset.
void expectClosedNormally(Listener& listener) {
    listener.socket.setRecvTimeout(5000);
    Socket peer = listener.accept();
    ASSERT_TRUE(peer.isValid());
    peer.setRecvTimeout(5000);
    gt::core::Binary buffer(1, 0);
    EXPECT_EQ(peer.recv(buffer, 0, 1), 0) << "the probe's socket was reset or left open";
}

TEST(TcpPingTest, MeasuresAnAnsweringTargetAndClosesItsConnections) {
    Listener listener;
    int const before = openDescriptors();
    TcpPing ping(5000, 3);
    int const ms = ping.ping(listener.address);
    EXPECT_GE(ms, 0);
    EXPECT_LT(ms, 5000);
    EXPECT_EQ(openDescriptors(), before);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        expectClosedNormally(listener);
    }
}

TEST(TcpPingTest, NothingListeningGivesMinusOne) {
    SocketAddress const closed = loopback(unusedPort());
    int const before = openDescriptors();
    TcpPing ping(1000, 2);
    EXPECT_EQ(ping.ping(closed), -1);
    EXPECT_EQ(openDescriptors(), before);
}

TEST(TcpPingTest, AConnectThatNeverCompletesEndsWithTheBudget) {
    Blackhole blackhole;
    int const before = openDescriptors();
    auto const start = std::chrono::steady_clock::now();
    TcpPing ping(300, 3);
    EXPECT_EQ(ping.ping(blackhole.address), -1);
    // Bounded by the budget (plus one loop step), far below the system's
    // own connect time-out of minutes.
    EXPECT_LT(elapsedMs(start), 5000);
    EXPECT_EQ(openDescriptors(), before);
}

// Attempts answer from a script; an entry below -1 stands for an attempt
// that uses up the whole budget and fails.
class ScriptedPing : public TcpPing {
public:
    ScriptedPing(int timeoutMs, int attempts, std::vector<int> script)
        : TcpPing(timeoutMs, attempts), m_script(std::move(script)) {}

    std::vector<int> given;  // the time-out of each attempt made

protected:
    int _ping(SocketAddress const&, int timeoutMs) override {
        given.push_back(timeoutMs);
        int const r = given.size() <= m_script.size() ? m_script[given.size() - 1] : -1;
        if (r < -1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs + 20));
            return -1;
        }
        return r;
    }

private:
    std::vector<int> m_script;
};

TEST(TcpPingTest, AveragesTheAttemptsThatSucceeded) {
    struct Case {
        char const* name;
        int timeoutMs;
        int attempts;
        std::vector<int> script;
        int expected;
        size_t made;
    } const cases[] = {
        {"no attempts", 1000, 0, {5}, -1, 0},
        {"negative attempts", 1000, -3, {5}, -1, 0},
        {"one answer", 1000, 1, {3}, 3, 1},
        {"two of five, integer division", 60000, 5, {-1, 10, -1, 21, -1}, 15, 5},
        {"a zero counts as an answer", 60000, 2, {0, 4}, 2, 2},
        {"none answers", 60000, 3, {-1, -1, -1}, -1, 3},
        {"budget used up by the first attempt", 100, 5, {-2, 7, 7}, -1, 1},
        {"budget used up after an answer", 100, 5, {9, -2, 7}, 9, 2},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPing ping(c.timeoutMs, c.attempts, c.script);
        EXPECT_EQ(ping.ping(loopback(1)), c.expected);
        EXPECT_EQ(ping.given.size(), c.made);
        // Each attempt gets what is left of the budget.
        for (size_t i = 0; i < ping.given.size(); ++i) {
            EXPECT_LE(ping.given[i], c.timeoutMs);
            if (i > 0) {
                EXPECT_LE(ping.given[i], ping.given[i - 1]);
            }
        }
    }
}

}  // namespace
