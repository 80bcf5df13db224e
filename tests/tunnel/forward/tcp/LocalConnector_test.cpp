#include "tunnel/forward/tcp/LocalConnector.h"

#include <gtest/gtest.h>

#include "gt/core/lang/Integer.h"
#include "gt/net/socket/Socket.h"
#include "tunnel/forward/Forward.h"
#include "tunnel/forward/ForwardTestSupport.h"

using forward_test::loopback;
using forward_test::pumpUntil;
using gt::net::Socket;
using gt::net::SocketAddress;
using tunnel::Forward;
using tunnel::LocalConnector;

// One public peer maps to one loopback source address and one low port byte,
// so its connections share a few hundred source ports; each closed one holds
// its port in TIME_WAIT for a minute. A busy client opening and closing
// connections one after another must still get every one of them through.
TEST(LocalConnector, ManySequentialConnectionsFromOnePeerAllGetThrough) {
    gt::net::SocketEventSelector selector(10);
    Socket listener(Socket::TYPE_TCP);
    ASSERT_TRUE(listener.setReuseAddress(true));
    ASSERT_TRUE(listener.bind(loopback(0)));
    ASSERT_TRUE(listener.listen());
    ASSERT_TRUE(listener.setBlocking(false));
    unsigned short const port = listener.localAddress().port();
    SocketAddress const target = loopback(port);
    SocketAddress const peer(gt::net::IpAddress(0x0A141E28u), 40000);  // 10.20.30.40
    gt::core::String const targetText = gt::core::String(u"loopback:") + gt::core::Integer(port).toString();

    LocalConnector connector(&selector);
    int connected = 0;
    int const kConnections = 1000;
    for (int i = 0; i < kConnections; ++i) {
        SocketAddress bind = Forward::sourceAddress(targetText, peer);
        bool done = false;
        Socket local(0);
        connector.connect(target, &bind, [&](Socket* socket) {
            done = true;
            if (socket) local.swap(*socket);
        });
        ASSERT_TRUE(pumpUntil(selector, [&] { return done; })) << "connection " << i;
        if (!local.isValid()) {
            ADD_FAILURE() << "connection " << i << " refused after " << connected << " got through";
            break;
        }
        ++connected;
        Socket accepted(0);
        ASSERT_TRUE(pumpUntil(selector, [&] { return listener.accept(&accepted); })) << "connection " << i;
        // The target sees the peer's address folded into 127.0.0.0/8 and the
        // peer's low address byte as the low byte of the source port.
        EXPECT_EQ(accepted.remoteAddress().address().value(), 0x7F0A141Eu);
        EXPECT_EQ(accepted.remoteAddress().port() & 0xFF, 0x28);
        EXPECT_EQ(accepted.remoteAddress().port(), bind.port());
        // The local side closes first, so its port is the one left in TIME_WAIT.
        local = Socket(0);
        accepted = Socket(0);
    }
    EXPECT_EQ(connected, kConnections);
}
