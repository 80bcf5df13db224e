#include "gt/net/channel/TcpSocketChannel.h"

#include <errno.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/Descriptors.h"
#include "support/FakeClock.h"
#include "support/Loopback.h"
#include "support/Pump.h"

using gt::core::Binary;
using gt::net::Socket;
using gt::net::SocketEventSelector;
using gt::net::TcpSocketChannel;
using gt::test::ConnectedPair;
using gt::test::FakeClock;
using gt::test::openDescriptors;
using gt::test::pumpFor;
using gt::test::pumpUntil;

namespace {

// A channel on the client end of a loopback connection; the test plays the
// peer through the blocking server end.
struct ChannelFixture {
    ConnectedPair pair;
    SocketEventSelector selector;
    std::unique_ptr<TcpSocketChannel> channel;
    Binary received;
    int sent = 0;
    std::vector<std::string> calls;

    explicit ChannelFixture(int tickMs = 0) : selector(tickMs) {
        channel.reset(new TcpSocketChannel(&pair.client, &selector));
        channel->onRecv = [this](Binary& data) { received.append(data); };
        channel->onSent = [this](int n) { sent += n; };
        channel->onClosed = [this] { calls.push_back("closed"); };
        channel->onTimeout = [this] { calls.push_back("timeout"); };
    }
    Socket& peer() { return pair.server; }
    void peerSend(int n, char byte = 'p') { ASSERT_EQ(peer().send(Binary(n, byte), 0, n), n); }
    bool closed() const { return !calls.empty() && calls.back() == "closed"; }
    // Reads everything the peer gets until end of stream or error; returns
    // the last recv result (0 = orderly end, -1 = error).
    int peerDrain(Binary& into) {
        peer().setRecvTimeout(2000);
        Binary buffer(65536, 0);
        for (;;) {
            int n = peer().recv(buffer, 0, 65536);
            if (n <= 0) return n;
            into.append(buffer.data(), n);
        }
    }
};

TEST(TcpSocketChannelTest, TakesTheSocketOver) {
    ConnectedPair pair;
    int handle = pair.client.handle();
    SocketEventSelector selector(0);
    TcpSocketChannel channel(&pair.client, &selector);
    EXPECT_FALSE(pair.client.isValid());
    EXPECT_TRUE(channel.isValid());
    EXPECT_EQ(channel.state(), TcpSocketChannel::STATE_OPEN);
    EXPECT_TRUE(selector.hasEventHandler(handle));
    EXPECT_EQ(channel.remoteAddress(), pair.listener.address);
    EXPECT_EQ(channel.localAddress(), pair.server.remoteAddress());

    Socket invalid(0);
    TcpSocketChannel empty(&invalid, &selector);
    TcpSocketChannel none(nullptr, nullptr);
    EXPECT_FALSE(empty.isValid());
    EXPECT_EQ(empty.state(), TcpSocketChannel::STATE_INVALID);
    EXPECT_FALSE(empty.recv(10));
    EXPECT_FALSE(empty.send(Binary("x")));
    EXPECT_FALSE(empty.shutdown());
    EXPECT_FALSE(empty.close());
    EXPECT_FALSE(empty.setSelector(&selector));
    // Destroying channels without a socket is harmless.
}

TEST(TcpSocketChannelTest, ReadsOnlyWhatWasGranted) {
    ChannelFixture f;
    f.peerSend(500);
    pumpFor(f.selector, 50);
    EXPECT_TRUE(f.received.isEmpty());  // no credit, no reads

    EXPECT_TRUE(f.channel->recv(100));
    ASSERT_TRUE(pumpUntil(f.selector, [&] { return f.received.length() >= 100; }));
    pumpFor(f.selector, 30);
    EXPECT_EQ(f.received.length(), 100);
    EXPECT_EQ(f.channel->recvCredit(), 0);

    EXPECT_TRUE(f.channel->recv(1000));
    ASSERT_TRUE(pumpUntil(f.selector, [&] { return f.received.length() >= 500; }));
    EXPECT_EQ(f.received, Binary(500, 'p'));
    EXPECT_EQ(f.channel->recvCredit(), 600);
    EXPECT_TRUE(f.calls.empty());
}

TEST(TcpSocketChannelTest, LargeReadsNeverPassTheCredit) {
    ChannelFixture f;
    std::string stream;
    for (int i = 0; i < 300000; ++i)
        stream.push_back(static_cast<char>('a' + i % 23));
    std::thread writer(
        [&] { f.peer().send(Binary(stream.data(), static_cast<int>(stream.size())), 0, 300000); });
    int largest = 0;
    f.channel->onRecv = [&](Binary& data) {
        largest = std::max(largest, data.length());
        f.received.append(data);
    };
    // Credit in steps of odd sizes: each is used up exactly, never passed.
    int granted = 0;
    for (int credit : {1, 70000, 65536, 12345, 152118}) {
        ASSERT_TRUE(f.channel->recv(credit));
        granted += credit;
        ASSERT_TRUE(pumpUntil(
            f.selector, [&] { return f.received.length() >= granted; }, 5000));
        pumpFor(f.selector, 20);
        ASSERT_EQ(f.received.length(), granted);
        EXPECT_EQ(f.channel->recvCredit(), 0);
    }
    writer.join();
    EXPECT_EQ(granted, 300000);
    EXPECT_TRUE(std::string(f.received.data(), static_cast<size_t>(f.received.length())) == stream);
    EXPECT_LE(largest, 70000);
    EXPECT_TRUE(f.calls.empty());
}

TEST(TcpSocketChannelTest, BytesQueuedInATurnGoOutInThatTurn) {
    // Two channels on one loop: what the first receives, the second sends.
    ChannelFixture in;
    ConnectedPair outPair;
    TcpSocketChannel out(&outPair.client, &in.selector);
    int sentOut = 0;
    out.onSent = [&](int n) { sentOut += n; };
    in.channel->onRecv = [&](Binary& data) { EXPECT_TRUE(out.send(data)); };
    ASSERT_TRUE(in.channel->recv(1000));
    in.selector.runOnce(0);  // the credit takes effect; nothing arrived yet
    in.peerSend(100, 'q');
    // The turn that reads the bytes also writes them onwards.
    int turns = 0;
    while (sentOut == 0 && turns < 200) {
        in.selector.runOnce(50);
        ++turns;
        if (in.channel->recvCredit() < 1000) break;
    }
    EXPECT_EQ(sentOut, 100);
    EXPECT_EQ(out.sendQueueLength(), 0);
    Binary got(100, 0);
    outPair.server.setRecvTimeout(2000);
    EXPECT_EQ(outPair.server.recv(got, 0, 100), 100);
    EXPECT_EQ(got, Binary(100, 'q'));
}

TEST(TcpSocketChannelTest, BadCreditIsRefusedAndChangesNothing) {
    ChannelFixture f;
    EXPECT_FALSE(f.channel->recv(-1));
    EXPECT_TRUE(f.channel->recv(2147483000));
    EXPECT_FALSE(f.channel->recv(1000));  // would overflow
    EXPECT_EQ(f.channel->recvCredit(), 2147483000);
    EXPECT_TRUE(f.channel->recv(647));
    EXPECT_EQ(f.channel->recvCredit(), 2147483647);
}

TEST(TcpSocketChannelTest, ShutdownDeliversEverythingThenEndsTheStream) {
    ChannelFixture f;
    Binary data;
    for (int i = 0; i < 20000; ++i)
        data.append(static_cast<char>(i * 7));
    ASSERT_TRUE(f.channel->send(data.left(12000)));
    ASSERT_TRUE(f.channel->send(data.mid(12000, 8000)));
    EXPECT_TRUE(f.channel->shutdown());
    EXPECT_EQ(f.channel->state(), TcpSocketChannel::STATE_CLOSING);
    EXPECT_FALSE(f.channel->send(Binary("late")));
    EXPECT_FALSE(f.channel->recv(10));
    ASSERT_TRUE(pumpUntil(f.selector, [&] { return f.closed(); }));
    EXPECT_EQ(f.calls, (std::vector<std::string>{"closed"}));
    EXPECT_EQ(f.sent, 20000);
    EXPECT_FALSE(f.channel->isValid());
    EXPECT_EQ(f.selector.handlerCount(), 0);

    Binary got;
    EXPECT_EQ(f.peerDrain(got), 0);  // FIN after the data
    EXPECT_EQ(got, data);
}

TEST(TcpSocketChannelTest, ShutdownOfADrainedChannelEndsTheStreamWithoutATick) {
    // The selector's tick never falls due here (the clock stands still): a
    // graceful close whose queue is already empty must still finish at the
    // next turns, not wait for the periodic tick.
    for (int written : {0, 3000}) {
        SCOPED_TRACE(written);
        FakeClock clock;
        ChannelFixture f(1000);
        if (written > 0) {
            ASSERT_TRUE(f.channel->send(Binary(written, 'w')));
            ASSERT_TRUE(pumpUntil(f.selector, [&] { return f.sent == written; }));
        }
        EXPECT_EQ(f.channel->sendQueueLength(), 0);
        EXPECT_TRUE(f.channel->shutdown());
        ASSERT_TRUE(pumpUntil(
            f.selector, [&] { return f.closed(); }, 1000));
        EXPECT_EQ(f.calls, (std::vector<std::string>{"closed"}));
        Binary got;
        EXPECT_EQ(f.peerDrain(got), 0);
        EXPECT_EQ(got, Binary(written, 'w'));
    }
}

TEST(TcpSocketChannelTest, ShutdownWithUnreadPeerBytesStillEndsInOrder) {
    // The peer sent bytes the owner never asked for, and does not read until
    // the channel has let its socket go, so the tail of the data still waits
    // in the kernel's send queue then. A graceful close must deliver every
    // queued byte and end with FIN, not a reset that drops the tail.
    ChannelFixture f;
    f.peerSend(100);
    const int total = 256 * 1024;
    Binary data;
    data.reserve(total);
    for (int i = 0; i < total; ++i)
        data.append(static_cast<char>(i * 13));
    ASSERT_TRUE(f.channel->send(data));
    EXPECT_TRUE(f.channel->shutdown());
    ASSERT_TRUE(pumpUntil(f.selector, [&] { return f.closed(); }));
    Binary got;
    int last = f.peerDrain(got);
    EXPECT_EQ(last, 0) << "errno " << errno;
    EXPECT_EQ(got.length(), total);
    EXPECT_TRUE(got == data);
}

TEST(TcpSocketChannelTest, CloseDropsTheQueueAndResets) {
    ChannelFixture f;
    ASSERT_TRUE(f.channel->send(Binary(5000, 'q')));
    EXPECT_TRUE(f.channel->close());
    EXPECT_EQ(f.channel->sendQueueLength(), 0);
    EXPECT_EQ(f.channel->state(), TcpSocketChannel::STATE_CLOSED);
    ASSERT_TRUE(pumpUntil(f.selector, [&] { return f.closed(); }));
    EXPECT_EQ(f.calls, (std::vector<std::string>{"closed"}));
    EXPECT_EQ(f.sent, 0);
    Binary got;
    EXPECT_EQ(f.peerDrain(got), -1);
    EXPECT_EQ(errno, ECONNRESET);
    EXPECT_TRUE(got.isEmpty());
}

TEST(TcpSocketChannelTest, IdleTimeOutGivesTimeoutThenClosed) {
    {
        FakeClock clock;
        ChannelFixture f(1000);
        f.selector.poll(0);
        clock.advance(119999);
        f.selector.poll(0);
        EXPECT_TRUE(f.calls.empty());
        clock.advance(1);
        f.selector.poll(0);
        EXPECT_EQ(f.calls, (std::vector<std::string>{"timeout", "closed"}));
    }
    {
        // A short interval set by the owner, and traffic restarts it.
        FakeClock clock;
        ChannelFixture f(1000);
        f.channel->setIdleTimeout(300);
        f.channel->recv(10);
        clock.advance(200);
        f.peerSend(1);
        ASSERT_TRUE(pumpUntil(f.selector, [&] { return f.received.length() == 1; }));
        clock.advance(200);
        f.selector.poll(0);
        EXPECT_TRUE(f.calls.empty());
        clock.advance(100);
        clock.advance(1000);  // let the selector's tick fall due too
        f.selector.poll(0);
        EXPECT_EQ(f.calls, (std::vector<std::string>{"timeout", "closed"}));
    }
    {
        // Interval 0: no idle limit.
        FakeClock clock;
        ChannelFixture f(1000);
        f.channel->setIdleTimeout(0);
        clock.advance(10000000);
        f.selector.poll(0);
        EXPECT_TRUE(f.calls.empty());
    }
}

TEST(TcpSocketChannelTest, PeerCloseEndsTheChannel) {
    ChannelFixture f;
    f.peerSend(10);
    f.peer().shutdown(Socket::SHUT_SEND);
    f.channel->recv(1000);
    ASSERT_TRUE(pumpUntil(f.selector, [&] { return f.closed(); }));
    EXPECT_EQ(f.received.length(), 10);
    EXPECT_EQ(f.calls, (std::vector<std::string>{"closed"}));
}

TEST(TcpSocketChannelTest, PeerResetDuringWritesClosesWithoutSignal) {
    // Even with SIGPIPE at its default action the process must survive:
    // every send passes MSG_NOSIGNAL.
    struct sigaction deflt = {};
    struct sigaction previous;
    deflt.sa_handler = SIG_DFL;
    sigemptyset(&deflt.sa_mask);
    ASSERT_EQ(sigaction(SIGPIPE, &deflt, &previous), 0);
    {
        ChannelFixture f;
        f.peer().setLinger(true, 0);
        { Socket gone(std::move(f.peer())); }
        for (int i = 0; i < 200 && !f.closed(); ++i) {
            f.channel->send(Binary(65536, 'w'));
            f.selector.poll(5);
        }
        EXPECT_TRUE(f.closed());
        EXPECT_FALSE(f.channel->isValid());
    }
    sigaction(SIGPIPE, &previous, nullptr);
}

// Why the connection ended, for the owner's log line and last error.
TEST(TcpSocketChannelTest, LastErrorTellsWhyTheConnectionEnded) {
    struct Case {
        char const* name;
        std::function<void(ChannelFixture&)> end;
        int expected;
    };
    Case const cases[] = {
        {"peer closes in order", [](ChannelFixture& f) { f.peer().shutdown(Socket::SHUT_SEND); }, 0},
        {"peer resets",
         [](ChannelFixture& f) {
             f.peer().setLinger(true, 0);
             Socket gone(std::move(f.peer()));
         },
         ECONNRESET},
        {"local close", [](ChannelFixture& f) { f.channel->close(); }, 0},
        {"idle time-out", [](ChannelFixture& f) { f.channel->setIdleTimeout(1); }, ETIMEDOUT},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        ChannelFixture f;
        EXPECT_EQ(0, f.channel->lastError());
        f.channel->recv(1000);
        c.end(f);
        ASSERT_TRUE(pumpUntil(f.selector, [&] { return f.closed(); }));
        EXPECT_EQ(c.expected, f.channel->lastError());
    }
}

TEST(TcpSocketChannelTest, SpuriousReadinessIsNotAClose) {
    ChannelFixture f;
    f.channel->recv(100);
    ASSERT_TRUE(f.channel->send(Binary("abc")));
    f.channel->onEvent(gt::net::ISocketEventHandler::EVENT_READ);  // nothing to read
    EXPECT_TRUE(f.calls.empty());
    EXPECT_TRUE(f.channel->isValid());
    // A peer socket with a full receive window: writes would block.
    f.peer().setRecvBufferSize(4096);
    for (int i = 0; i < 100; ++i) {
        f.channel->send(Binary(65536, 'z'));
        f.channel->onEvent(gt::net::ISocketEventHandler::EVENT_WRITE);
    }
    EXPECT_TRUE(f.calls.empty());
    EXPECT_TRUE(f.channel->isValid());
}

TEST(TcpSocketChannelTest, SendQueueLimit) {
    ChannelFixture f;
    EXPECT_EQ(f.channel->sendQueueLength(), 0);
    f.channel->setSendQueueLimit(100);
    EXPECT_TRUE(f.channel->send(Binary(60, 'a')));
    EXPECT_FALSE(f.channel->send(Binary(41, 'b')));
    EXPECT_TRUE(f.channel->send(Binary(40, 'c')));
    EXPECT_EQ(f.channel->sendQueueLength(), 100);
    ASSERT_TRUE(pumpUntil(f.selector, [&] { return f.sent == 100; }));
    EXPECT_EQ(f.channel->sendQueueLength(), 0);
    EXPECT_TRUE(f.channel->send(Binary(100, 'd')));
    f.channel->setSendQueueLimit(-1);
    EXPECT_TRUE(f.channel->send(Binary(1000000, 'e')));
}

TEST(TcpSocketChannelTest, ReceiveRateLimitHoldsPerWindow) {
    FakeClock clock;
    ChannelFixture f(1000);
    f.channel->setRecvRateLimit(1000);
    f.peerSend(3500);
    f.channel->recv(10000);
    pumpFor(f.selector, 60);
    EXPECT_EQ(f.received.length(), 1000);
    clock.advance(999);
    pumpFor(f.selector, 30);
    EXPECT_EQ(f.received.length(), 1000);
    clock.advance(1);
    pumpFor(f.selector, 60);
    EXPECT_EQ(f.received.length(), 2000);
}

TEST(TcpSocketChannelTest, SendRateLimitHoldsPerWindow) {
    FakeClock clock;
    ChannelFixture f(1000);
    f.channel->setSendRateLimit(3000);
    f.channel->send(Binary(10000, 's'));
    pumpFor(f.selector, 60);
    EXPECT_EQ(f.sent, 3000);
    clock.advance(1000);
    pumpFor(f.selector, 60);
    EXPECT_EQ(f.sent, 6000);
}

TEST(TcpSocketChannelTest, OwnerMayDestroyTheChannelInsideCallbacks) {
    {
        ChannelFixture f;
        f.channel->onRecv = [&](Binary&) { f.channel.reset(); };
        f.channel->recv(100);
        f.peerSend(50);
        ASSERT_TRUE(pumpUntil(f.selector, [&] { return f.channel == nullptr; }));
        EXPECT_EQ(f.selector.handlerCount(), 0);
        Binary got;
        EXPECT_EQ(f.peerDrain(got), 0);  // the socket was let go
    }
    {
        ChannelFixture f;
        f.channel->onSent = [&](int) { f.channel.reset(); };
        f.channel->send(Binary(10, 'x'));
        ASSERT_TRUE(pumpUntil(f.selector, [&] { return f.channel == nullptr; }));
    }
    {
        ChannelFixture f;
        bool called = false;
        f.channel->onClosed = [&] {
            f.channel.reset();
            called = true;  // captures are still alive after the reset
        };
        f.channel->close();
        ASSERT_TRUE(pumpUntil(f.selector, [&] { return called; }));
        EXPECT_EQ(f.channel, nullptr);
    }
    {
        FakeClock clock;
        ChannelFixture f(1000);
        f.channel->onTimeout = [&] { f.channel.reset(); };
        clock.advance(200000);
        f.selector.poll(0);
        EXPECT_EQ(f.channel, nullptr);
        EXPECT_EQ(f.selector.handlerCount(), 0);
    }
}

TEST(TcpSocketChannelTest, DestructorLetsTheSocketGoQuietly) {
    int before = openDescriptors();
    {
        ChannelFixture f;
        f.channel->send(Binary("x"));
        f.channel.reset();
        EXPECT_TRUE(f.calls.empty());
        EXPECT_EQ(f.selector.handlerCount(), 0);
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST(TcpSocketChannelTest, ExportAndSelectorMoves) {
    ChannelFixture f;
    SocketEventSelector other(0);
    ASSERT_TRUE(f.channel->setSelector(&other));
    EXPECT_EQ(f.selector.handlerCount(), 0);
    EXPECT_EQ(other.handlerCount(), 1);
    EXPECT_TRUE(f.channel->setSelector(&other));

    Socket occupied(Socket::TYPE_TCP);
    EXPECT_FALSE(f.channel->exportSocket(&occupied));
    EXPECT_FALSE(f.channel->exportSocket(nullptr));
    Socket out(0);
    ASSERT_TRUE(f.channel->exportSocket(&out));
    EXPECT_TRUE(out.isValid());
    EXPECT_FALSE(f.channel->isValid());
    EXPECT_EQ(f.channel->state(), TcpSocketChannel::STATE_INVALID);
    EXPECT_EQ(other.handlerCount(), 0);
    EXPECT_FALSE(f.channel->send(Binary("x")));
    EXPECT_EQ(out.send(Binary("still connected"), 0, 15), 15);
}

TEST(TcpSocketChannelTest, SelectorThatHoldsTheHandleIsRefused) {
    ChannelFixture f;
    SocketEventSelector other(0);
    struct Dummy : gt::net::ISocketEventHandler {
        int getEvents() override { return 0; }
        void onEvent(int) override {}
    } dummy;
    // Find the channel's handle through a fresh export/re-wrap.
    Socket out(0);
    ASSERT_TRUE(f.channel->exportSocket(&out));
    int handle = out.handle();
    TcpSocketChannel channel(&out, &f.selector);
    ASSERT_TRUE(other.addEventHandler(handle, &dummy));
    EXPECT_FALSE(channel.setSelector(&other));
    EXPECT_TRUE(f.selector.hasEventHandler(handle));
    other.removeEventHandler(handle);
}

TEST(TcpSocketChannelTest, ServesSocketsAboveDescriptor1024) {
    bool tooLow = false;
    ASSERT_NO_FATAL_FAILURE(gt::test::raiseDescriptorLimit(2048, &tooLow));
    if (tooLow) GTEST_SKIP() << "descriptor limit too low";
    // Occupy every descriptor below 1500 so the next socket lands above.
    gt::test::Listener listener;
    std::vector<int> fillers;
    int next;
    while ((next = dup(0)) >= 0 && next < 1500)
        fillers.push_back(next);
    Socket client(Socket::TYPE_TCP);
    if (next >= 0) close(next);
    for (int fd : fillers)
        close(fd);
    ASSERT_GE(client.handle(), 1024);
    ASSERT_TRUE(client.connect(listener.address));
    Socket server = listener.accept();

    SocketEventSelector selector(0);
    TcpSocketChannel channel(&client, &selector);
    Binary received;
    channel.onRecv = [&](Binary& data) { received.append(data); };
    channel.recv(1000);
    ASSERT_TRUE(channel.send(Binary("ping")));
    ASSERT_EQ(server.send(Binary("pong"), 0, 4), 4);
    ASSERT_TRUE(pumpUntil(selector, [&] { return received.length() == 4; }));
    Binary got(4, 0);
    ASSERT_TRUE(server.wait(true, false, false, 2000));
    EXPECT_EQ(server.recv(got, 0, 4), 4);
    EXPECT_EQ(got, Binary("ping"));
}

}  // namespace
