#include "gt/net/socket/Socket.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "gt/core/lang/Exception.h"
#include "support/Loopback.h"

using gt::core::Binary;
using gt::net::IpAddress;
using gt::net::Socket;
using gt::net::SocketAddress;
using gt::test::ConnectedPair;
using gt::test::Listener;
using gt::test::loopback;

namespace {

bool isOpenFd(int fd) { return fcntl(fd, F_GETFD) != -1; }

TEST(SocketTest, UnknownTypesGiveInvalidSocketsThatRefuseEverything) {
    for (int type : {0, 3, -1}) {
        Socket socket(type);
        Binary buffer(4, 'x');
        SocketAddress from;
        Socket other(0);
        EXPECT_FALSE(socket.isValid());
        EXPECT_EQ(socket.handle(), -1);
        EXPECT_FALSE(socket.connect(loopback(1)));
        EXPECT_FALSE(socket.bind(loopback(0)));
        EXPECT_FALSE(socket.listen());
        EXPECT_FALSE(socket.accept(&other));
        EXPECT_EQ(socket.send(buffer, 0, 4), -1);
        EXPECT_EQ(socket.recv(buffer, 0, 4), -1);
        EXPECT_EQ(socket.sendTo(buffer, 0, 4, loopback(1)), -1);
        EXPECT_EQ(socket.recvFrom(buffer, 0, 4, &from), -1);
        EXPECT_FALSE(socket.setBlocking(false));
        EXPECT_FALSE(socket.isBlocking());
        EXPECT_FALSE(socket.setLinger(true, 0));
        EXPECT_FALSE(socket.setReuseAddress(true));
        EXPECT_FALSE(socket.setRecvTimeout(10));
        EXPECT_FALSE(socket.setSendTimeout(10));
        EXPECT_FALSE(socket.setRecvBufferSize(8192));
        EXPECT_FALSE(socket.setSendBufferSize(8192));
        EXPECT_FALSE(socket.setNoDelay(true));
        EXPECT_TRUE(socket.hasError());
        EXPECT_FALSE(socket.wait(true, true, true, 0));
        EXPECT_EQ(socket.localAddress(), SocketAddress::none());
        EXPECT_EQ(socket.remoteAddress(), SocketAddress::none());
        socket.shutdown(2);
    }
}

TEST(SocketTest, MoveAndSwapCarryHandleAndMode) {
    Socket a(Socket::TYPE_TCP);
    ASSERT_TRUE(a.isValid());
    ASSERT_TRUE(a.setBlocking(false));
    int handle = a.handle();

    Socket b(std::move(a));
    EXPECT_FALSE(a.isValid());
    EXPECT_EQ(b.handle(), handle);
    EXPECT_FALSE(b.isBlocking());
    EXPECT_TRUE(a.setBlocking(false) == false);  // moved-from is empty

    Socket c(Socket::TYPE_UDP);
    int udp = c.handle();
    b.swap(c);
    EXPECT_EQ(b.handle(), udp);
    EXPECT_TRUE(b.isBlocking());
    EXPECT_EQ(c.handle(), handle);
    EXPECT_FALSE(c.isBlocking());

    Socket d(0);
    d = std::move(c);  // exchanges: c now holds d's (invalid) handle
    EXPECT_EQ(d.handle(), handle);
    EXPECT_FALSE(c.isValid());
}

TEST(SocketTest, DestructorClosesTheHandle) {
    int handle;
    {
        Socket socket(Socket::TYPE_TCP);
        handle = socket.handle();
        EXPECT_TRUE(isOpenFd(handle));
        EXPECT_TRUE(fcntl(handle, F_GETFD) & FD_CLOEXEC);
    }
    EXPECT_FALSE(isOpenFd(handle));
}

TEST(SocketTest, ConnectSendAndReceiveOverLoopback) {
    ConnectedPair pair;
    ASSERT_TRUE(pair.server.isValid());
    EXPECT_EQ(pair.client.remoteAddress(), pair.listener.address);
    EXPECT_EQ(pair.server.localAddress(), pair.listener.address);
    EXPECT_EQ(pair.server.remoteAddress(), pair.client.localAddress());

    Binary data("hello world");
    EXPECT_EQ(pair.client.send(data, 6, 5), 5);
    Binary buffer(8, '.');
    EXPECT_TRUE(pair.server.wait(true, false, false, 2000));
    EXPECT_EQ(pair.server.recv(buffer, 2, 6), 5);
    EXPECT_EQ(buffer, Binary("..world."));
}

TEST(SocketTest, TransferArgumentsOutsideTheBufferAreRefused) {
    ConnectedPair pair;
    Binary four(4, 'x');
    struct Case {
        int pos, len;
    } const bad[] = {{2, 3}, {-1, 1}, {0, -1}, {5, 0}, {0, 5}, {2147483647, 2}};
    for (Case const& c : bad) {
        EXPECT_EQ(pair.client.send(four, c.pos, c.len), -1) << c.pos << "," << c.len;
        EXPECT_EQ(pair.client.recv(four, c.pos, c.len), -1) << c.pos << "," << c.len;
    }
    EXPECT_FALSE(pair.server.wait(true, false, false, 0));  // nothing was sent
    // An empty transfer at the end of a buffer is no error and never throws
    // into the event loop.
    Binary empty;
    EXPECT_EQ(pair.client.send(empty, 0, 0), 0);
    EXPECT_EQ(pair.client.send(four, 4, 0), 0);
}

TEST(SocketTest, AcceptNeedsAnEmptyTarget) {
    Listener listener;
    Socket client(Socket::TYPE_TCP);
    ASSERT_TRUE(client.connect(listener.address));
    Socket occupied(Socket::TYPE_TCP);
    int handle = occupied.handle();
    EXPECT_FALSE(listener.socket.accept(&occupied));
    EXPECT_EQ(occupied.handle(), handle);
    EXPECT_FALSE(listener.socket.accept(nullptr));
    // The waiting connection is still there for a proper accept.
    Socket fresh(0);
    EXPECT_TRUE(listener.socket.accept(&fresh));
    EXPECT_TRUE(fresh.isBlocking());
}

TEST(SocketTest, AcceptedSocketTakesTheListenersMode) {
    Listener listener;
    ASSERT_TRUE(listener.socket.setBlocking(false));
    Socket client(Socket::TYPE_TCP);
    ASSERT_TRUE(client.connect(listener.address));
    ASSERT_TRUE(listener.socket.wait(true, false, false, 2000));
    Socket accepted(0);
    ASSERT_TRUE(listener.socket.accept(&accepted));
    EXPECT_FALSE(accepted.isBlocking());
    EXPECT_TRUE(fcntl(accepted.handle(), F_GETFL) & O_NONBLOCK);
    Binary buffer(4, 0);
    EXPECT_EQ(accepted.recv(buffer, 0, 4), -1);  // would block, does not hang
    EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK);
}

TEST(SocketTest, NonBlockingConnectStartsAndCompletes) {
    Listener listener;
    Socket client(Socket::TYPE_TCP);
    ASSERT_TRUE(client.setBlocking(false));
    ASSERT_TRUE(client.connect(listener.address));
    EXPECT_TRUE(client.wait(false, true, false, 2000));
    EXPECT_FALSE(client.hasError());
}

TEST(SocketTest, ConnectToTheNoneAddressFails) {
    Listener listener;  // something listens on that port of this host
    for (bool blocking : {true, false}) {
        Socket client(Socket::TYPE_TCP);
        ASSERT_TRUE(client.setBlocking(blocking));
        EXPECT_FALSE(client.connect(SocketAddress(IpAddress(), listener.address.port())));
    }
}

TEST(SocketTest, RefusedConnectIsReported) {
    Socket unused(Socket::TYPE_TCP);
    ASSERT_TRUE(unused.bind(loopback(0)));
    SocketAddress closed = unused.localAddress();  // bound, never listening
    Socket blocking(Socket::TYPE_TCP);
    EXPECT_FALSE(blocking.connect(closed));

    Socket nonBlocking(Socket::TYPE_TCP);
    ASSERT_TRUE(nonBlocking.setBlocking(false));
    if (nonBlocking.connect(closed)) {  // started: the refusal shows as an error
        EXPECT_TRUE(nonBlocking.wait(false, true, false, 2000));
        EXPECT_TRUE(nonBlocking.hasError());
    }
}

TEST(SocketTest, ShutdownDirections) {
    {
        ConnectedPair pair;
        pair.client.shutdown(Socket::SHUT_SEND);
        Binary buffer(4, 0);
        EXPECT_EQ(pair.server.recv(buffer, 0, 4), 0);  // orderly end seen by the peer
        EXPECT_EQ(pair.client.send(buffer, 0, 4), -1);
        EXPECT_EQ(pair.server.send(Binary("abcd"), 0, 4), 4);  // other way still open
        EXPECT_EQ(pair.client.recv(buffer, 0, 4), 4);
    }
    {
        ConnectedPair pair;
        pair.client.shutdown(Socket::SHUT_RECEIVE);
        Binary buffer(4, 0);
        EXPECT_EQ(pair.client.recv(buffer, 0, 4), 0);
        EXPECT_EQ(pair.client.send(Binary("abcd"), 0, 4), 4);
    }
    {
        ConnectedPair pair;
        pair.client.shutdown(7);  // any other value: both directions
        Binary buffer(4, 0);
        EXPECT_EQ(pair.client.recv(buffer, 0, 4), 0);
        EXPECT_EQ(pair.client.send(Binary("abcd"), 0, 4), -1);
    }
}

TEST(SocketTest, SendToResetPeerFailsWithoutSignal) {
    // The library ignores SIGPIPE: the write fails with EPIPE or ECONNRESET.
    struct sigaction current;
    ASSERT_EQ(sigaction(SIGPIPE, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_IGN);

    ConnectedPair pair;
    ASSERT_TRUE(pair.server.setLinger(true, 0));
    { Socket gone(std::move(pair.server)); }  // reset
    Binary data(1000, 'x');
    int result = 0;
    for (int i = 0; i < 50 && result >= 0; ++i) {
        pair.client.wait(false, true, false, 100);
        result = pair.client.send(data, 0, 1000);
    }
    EXPECT_EQ(result, -1);
}

TEST(SocketTest, WaitReportsReadiness) {
    ConnectedPair pair;
    EXPECT_FALSE(pair.server.wait(true, false, false, 0));
    EXPECT_TRUE(pair.server.wait(false, true, false, 0));
    EXPECT_FALSE(pair.server.wait(true, false, false, 20));
    ASSERT_EQ(pair.client.send(Binary("x"), 0, 1), 1);
    EXPECT_TRUE(pair.server.wait(true, false, false, -1));
    // A closed peer counts as readable (the read then gives 0).
    ConnectedPair closed;
    { Socket gone(std::move(closed.client)); }
    EXPECT_TRUE(closed.server.wait(true, false, false, 2000));
}

TEST(SocketTest, OptionsApply) {
    Socket socket(Socket::TYPE_TCP);
    EXPECT_TRUE(socket.setLinger(true, 0));
    linger value;
    socklen_t length = sizeof value;
    ASSERT_EQ(getsockopt(socket.handle(), SOL_SOCKET, SO_LINGER, &value, &length), 0);
    EXPECT_EQ(value.l_onoff, 1);
    EXPECT_EQ(value.l_linger, 0);
    EXPECT_TRUE(socket.setReuseAddress(true));
    EXPECT_TRUE(socket.setNoDelay(true));
    EXPECT_TRUE(socket.setRecvBufferSize(8192));
    EXPECT_TRUE(socket.setSendBufferSize(8192));
    EXPECT_TRUE(socket.setRecvTimeout(1500));
    timeval timeout;
    length = sizeof timeout;
    ASSERT_EQ(getsockopt(socket.handle(), SOL_SOCKET, SO_RCVTIMEO, &timeout, &length), 0);
    EXPECT_EQ(timeout.tv_sec, 1);
    EXPECT_EQ(timeout.tv_usec, 500000);
    EXPECT_TRUE(socket.setSendTimeout(250));
    EXPECT_FALSE(socket.hasError());
}

TEST(SocketTest, UdpRoundTrip) {
    Socket receiver(Socket::TYPE_UDP);
    ASSERT_TRUE(receiver.bind(loopback(0)));
    Socket sender(Socket::TYPE_UDP);
    ASSERT_TRUE(sender.bind(loopback(0)));
    Binary data("datagram");
    EXPECT_EQ(sender.sendTo(data, 0, 8, receiver.localAddress()), 8);
    Binary buffer(16, 0);
    SocketAddress from;
    ASSERT_TRUE(receiver.wait(true, false, false, 2000));
    EXPECT_EQ(receiver.recvFrom(buffer, 0, 16, &from), 8);
    EXPECT_EQ(from, sender.localAddress());
    EXPECT_EQ(Binary(buffer, 0, 8), data);
}

}  // namespace
