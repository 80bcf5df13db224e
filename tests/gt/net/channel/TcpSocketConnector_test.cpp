#include "gt/net/channel/TcpSocketConnector.h"

#include <errno.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "support/Descriptors.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/Wait.h"

namespace {
using Clock = std::chrono::steady_clock;
using gt::net::IpAddress;
using gt::net::Socket;
using gt::net::SocketAddress;
using gt::net::SocketEventSelector;
using gt::net::TcpSocketConnector;
using gt::test::Blackhole;
using gt::test::elapsedMs;
using gt::test::Listener;
using gt::test::loopback;
using gt::test::openDescriptors;
using gt::test::pumpFor;
using gt::test::pumpUntil;

// Records what the connector hands over; takes a valid socket over.
struct Outcome {
    int calls = 0;
    bool gotSocket = false;
    Socket socket{0};
    TcpSocketConnector::Callback callback() {
        return [this](Socket* s) {
            ++calls;
            gotSocket = s != nullptr;
            if (s != nullptr) socket.swap(*s);
        };
    }
};

TEST(TcpSocketConnectorTest, ConnectsToAnAcceptingPeer) {
    Listener listener;
    SocketEventSelector selector(1000);
    TcpSocketConnector connector(&selector);
    EXPECT_FALSE(connector.isConnecting());
    Outcome outcome;
    connector.connect(listener.address, outcome.callback(), 3000);
    EXPECT_TRUE(connector.isConnecting());
    ASSERT_TRUE(pumpUntil(selector, [&] { return outcome.calls > 0; }));
    EXPECT_EQ(outcome.calls, 1);
    ASSERT_TRUE(outcome.gotSocket);
    EXPECT_TRUE(outcome.socket.isValid());
    EXPECT_EQ(outcome.socket.remoteAddress(), listener.address);
    EXPECT_FALSE(connector.isConnecting());
    EXPECT_EQ(selector.handlerCount(), 0);
    pumpFor(selector, 20);
    EXPECT_EQ(outcome.calls, 1);
}

TEST(TcpSocketConnectorTest, BindsToTheGivenLocalAddress) {
    Listener listener;
    Socket probe(Socket::TYPE_TCP);
    ASSERT_TRUE(probe.bind(loopback(0)));
    SocketAddress local = probe.localAddress();
    probe = Socket(0);
    SocketEventSelector selector(1000);
    TcpSocketConnector connector(&selector);
    Outcome outcome;
    connector.connect(listener.address, local, outcome.callback(), 3000);
    ASSERT_TRUE(pumpUntil(selector, [&] { return outcome.calls > 0; }));
    ASSERT_TRUE(outcome.gotSocket);
    EXPECT_EQ(outcome.socket.localAddress(), local);
}

// A local address without a port still binds the address (the port is left
// to connect); no local address at all binds nothing before the connect.
TEST(TcpSocketConnectorTest, LocalAddressWithoutPortOrNoneAtAll) {
    Listener listener;
    struct Case {
        char const* name;
        SocketAddress local;
        unsigned expectedAddress;  // 0: whatever the system chooses
    } const cases[] = {
        {"address, port 0", SocketAddress(IpAddress(0x7F000002u), 0), 0x7F000002u},
        {"none", SocketAddress::none(), 0},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        SocketEventSelector selector(1000);
        TcpSocketConnector connector(&selector);
        Outcome outcome;
        connector.connect(listener.address, c.local, outcome.callback(), 3000);
        ASSERT_TRUE(pumpUntil(selector, [&] { return outcome.calls > 0; }));
        ASSERT_TRUE(outcome.gotSocket) << connector.lastError();
        SocketAddress const got = outcome.socket.localAddress();
        EXPECT_NE(got.port(), 0);
        if (c.expectedAddress != 0) {
            EXPECT_EQ(got.address().value(), c.expectedAddress);
        }
        EXPECT_EQ(outcome.socket.remoteAddress(), listener.address);
    }
}

TEST(TcpSocketConnectorTest, RefusedConnectFailsAtOnce) {
    Socket unused(Socket::TYPE_TCP);
    ASSERT_TRUE(unused.bind(loopback(0)));  // bound, not listening: refused
    SocketEventSelector selector(5000);
    TcpSocketConnector connector(&selector);
    Outcome outcome;
    Clock::time_point start = Clock::now();
    connector.connect(unused.localAddress(), outcome.callback(), 10000);
    ASSERT_TRUE(pumpUntil(selector, [&] { return outcome.calls > 0; }));
    EXPECT_LT(elapsedMs(start), 2500);  // before the first tick, long before the time-out
    EXPECT_FALSE(outcome.gotSocket);
    EXPECT_FALSE(connector.isConnecting());
}

TEST(TcpSocketConnectorTest, NoneAddressIsRefusedAtOnce) {
    Listener listener;  // something listens on that port of this host
    SocketEventSelector selector(1000);
    TcpSocketConnector connector(&selector);
    Outcome outcome;
    connector.connect(SocketAddress(IpAddress(), listener.address.port()), outcome.callback(), 3000);
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.gotSocket);
    EXPECT_FALSE(connector.isConnecting());
    EXPECT_EQ(selector.handlerCount(), 0);
}

TEST(TcpSocketConnectorTest, TimesOutAtATickAfterTheTimeOut) {
    Blackhole blackhole;
    SocketEventSelector selector(50);
    TcpSocketConnector connector(&selector);
    Outcome outcome;
    Clock::time_point start = Clock::now();
    connector.connect(blackhole.address, outcome.callback(), 300);
    ASSERT_TRUE(pumpUntil(
        selector, [&] { return outcome.calls > 0; }, 3000, 100));
    int waited = elapsedMs(start);
    EXPECT_GE(waited, 295);   // the time-out was honoured
    EXPECT_LT(waited, 2500);  // and ended the connect
    EXPECT_FALSE(outcome.gotSocket);
    EXPECT_FALSE(connector.isConnecting());
    EXPECT_EQ(selector.handlerCount(), 0);
}

TEST(TcpSocketConnectorTest, CancelEndsAtTheNextEventAndIsForgottenByTheNextConnect) {
    Blackhole blackhole;
    SocketEventSelector selector(50);
    TcpSocketConnector connector(&selector);
    EXPECT_FALSE(connector.cancel());  // nothing pending
    Outcome first;
    connector.connect(blackhole.address, first.callback(), 10000);
    EXPECT_TRUE(connector.cancel());
    EXPECT_EQ(first.calls, 0);  // not from inside cancel
    ASSERT_TRUE(pumpUntil(
        selector, [&] { return first.calls > 0; }, 2000));
    EXPECT_FALSE(first.gotSocket);
    EXPECT_FALSE(connector.isConnecting());

    // The same connector connects normally afterwards.
    Listener listener;
    Outcome second;
    connector.connect(listener.address, second.callback(), 3000);
    ASSERT_TRUE(pumpUntil(selector, [&] { return second.calls > 0; }));
    EXPECT_TRUE(second.gotSocket);
}

TEST(TcpSocketConnectorTest, SecondConnectWhilePendingGetsNullAtOnce) {
    Listener listener;
    SocketEventSelector selector(1000);
    TcpSocketConnector connector(&selector);
    Outcome first;
    Outcome second;
    connector.connect(listener.address, first.callback(), 3000);
    connector.connect(listener.address, second.callback(), 3000);
    EXPECT_EQ(second.calls, 1);
    EXPECT_FALSE(second.gotSocket);
    ASSERT_TRUE(pumpUntil(selector, [&] { return first.calls > 0; }));
    EXPECT_TRUE(first.gotSocket);
}

TEST(TcpSocketConnectorTest, DestroyWhilePendingCallsNothingAndLeaksNothing) {
    Blackhole blackhole;
    SocketEventSelector selector(50);
    int before = openDescriptors();
    Outcome outcome;
    {
        TcpSocketConnector connector(&selector);
        connector.connect(blackhole.address, outcome.callback(), 10000);
        EXPECT_EQ(openDescriptors(), before + 1);
        selector.poll(0);
    }
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_EQ(selector.handlerCount(), 0);
    pumpFor(selector, 120);
    EXPECT_EQ(outcome.calls, 0);
}

TEST(TcpSocketConnectorTest, SocketNotTakenOverIsClosed) {
    Listener listener;
    SocketEventSelector selector(1000);
    TcpSocketConnector connector(&selector);
    int before = openDescriptors();
    bool called = false;
    connector.connect(
        listener.address, [&](Socket* s) { called = s != nullptr; }, 3000);
    ASSERT_TRUE(pumpUntil(selector, [&] { return called; }));
    EXPECT_EQ(openDescriptors(), before);
}

TEST(TcpSocketConnectorTest, OwnerMayDestroyOrReuseTheConnectorInsideTheCallback) {
    Listener listener;
    SocketEventSelector selector(50);
    {
        auto connector = std::make_unique<TcpSocketConnector>(&selector);
        bool called = false;
        connector->connect(
            listener.address,
            [&](Socket*) {
                connector.reset();
                called = true;
            },
            3000);
        ASSERT_TRUE(pumpUntil(selector, [&] { return called; }));
        EXPECT_EQ(connector, nullptr);
    }
    {
        Socket unused(Socket::TYPE_TCP);
        ASSERT_TRUE(unused.bind(loopback(0)));
        auto connector = std::make_unique<TcpSocketConnector>(&selector);
        bool called = false;
        connector->connect(
            unused.localAddress(),
            [&](Socket* s) {
                EXPECT_EQ(s, nullptr);
                connector.reset();
                called = true;
            },
            3000);
        ASSERT_TRUE(pumpUntil(selector, [&] { return called; }));
    }
    {
        // A failed attempt retried from inside its own callback.
        Socket unused(Socket::TYPE_TCP);
        ASSERT_TRUE(unused.bind(loopback(0)));
        TcpSocketConnector connector(&selector);
        Outcome retry;
        int failures = 0;
        connector.connect(
            unused.localAddress(),
            [&](Socket*) {
                ++failures;
                connector.connect(listener.address, retry.callback(), 3000);
            },
            3000);
        ASSERT_TRUE(pumpUntil(selector, [&] { return retry.calls > 0; }));
        EXPECT_EQ(failures, 1);
        EXPECT_TRUE(retry.gotSocket);
    }
    EXPECT_EQ(selector.handlerCount(), 0);
}

// Why a connect failed, as the owner logs it or keeps it as its last error.
TEST(TcpSocketConnectorTest, LastErrorTellsWhyTheConnectFailed) {
    Socket unused(Socket::TYPE_TCP);
    ASSERT_TRUE(unused.bind(loopback(0)));  // bound, not listening: refused
    Listener listener;
    Blackhole blackhole;
    struct Case {
        char const* name;
        SocketAddress remote;
        int timeoutMs;
        bool cancel;
        int expected;
    };
    Case const cases[] = {
        {"connected", listener.address, 3000, false, 0},
        {"refused", unused.localAddress(), 10000, false, ECONNREFUSED},
        {"none-address", SocketAddress(IpAddress(), listener.address.port()), 3000, false, ENETUNREACH},
        {"timed out", blackhole.address, 100, false, ETIMEDOUT},
        {"cancelled", blackhole.address, 10000, true, ECANCELED},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        SocketEventSelector selector(50);
        TcpSocketConnector connector(&selector);
        Outcome outcome;
        connector.connect(c.remote, outcome.callback(), c.timeoutMs);
        if (c.cancel) connector.cancel();
        ASSERT_TRUE(pumpUntil(
            selector, [&] { return outcome.calls > 0; }, 3000));
        EXPECT_EQ(c.expected, connector.lastError());
    }
    // A connect refused while another is pending says so; the pending one
    // still ends on its own.
    SocketEventSelector selector(50);
    TcpSocketConnector connector(&selector);
    Outcome first, second;
    connector.connect(listener.address, first.callback(), 3000);
    connector.connect(listener.address, second.callback(), 3000);
    EXPECT_EQ(EALREADY, connector.lastError());
    ASSERT_TRUE(pumpUntil(selector, [&] { return first.calls > 0; }));
    EXPECT_EQ(0, connector.lastError());
}

}  // namespace
