// Loopback sockets for tests: addresses, listeners and connected pairs on
// 127.0.0.1 only.
#pragma once

#include <sys/socket.h>

#include <vector>

#include <gtest/gtest.h>

#include "gt/net/socket/Socket.h"
#include "gt/net/socket/SocketAddress.h"

namespace gt {
namespace test {

inline gt::net::SocketAddress loopback(unsigned short port, unsigned address = 0x7F000001u) {
    return gt::net::SocketAddress(gt::net::IpAddress(address), port);
}

// A blocking TCP listener on 127.0.0.1 with a port picked by the system.
struct Listener {
    gt::net::Socket socket{gt::net::Socket::TYPE_TCP};
    gt::net::SocketAddress address;

    Listener() {
        EXPECT_TRUE(socket.bind(loopback(0)));
        EXPECT_TRUE(socket.listen());
        address = socket.localAddress();
    }
    gt::net::Socket accept() {
        gt::net::Socket peer(0);
        EXPECT_TRUE(socket.accept(&peer));
        return peer;
    }
};

// A connected pair: client (blocking) and the accepted server side.
struct ConnectedPair {
    Listener listener;
    gt::net::Socket client{gt::net::Socket::TYPE_TCP};
    gt::net::Socket server{0};

    ConnectedPair() {
        EXPECT_TRUE(client.connect(listener.address));
        server = listener.accept();
    }
};

// A loopback port that nothing listens on (bound once, then released).
inline unsigned short unusedPort() {
    gt::net::Socket probe(gt::net::Socket::TYPE_TCP);
    probe.bind(loopback(0));
    return probe.localAddress().port();
}

// A loopback listener whose accept queue is full and never drained: further
// connection attempts get no answer, as from a host that never replies.
struct Blackhole {
    gt::net::Socket listener{gt::net::Socket::TYPE_TCP};
    std::vector<gt::net::Socket> fillers;
    gt::net::SocketAddress address;

    Blackhole() {
        EXPECT_TRUE(listener.bind(loopback(0)));
        EXPECT_EQ(::listen(listener.handle(), 0), 0);
        address = listener.localAddress();
        for (int i = 0; i < 8; ++i) {
            gt::net::Socket filler(gt::net::Socket::TYPE_TCP);
            filler.setBlocking(false);
            EXPECT_TRUE(filler.connect(address));
            bool answered = filler.wait(false, true, false, 200);
            fillers.push_back(std::move(filler));
            if (!answered) return;  // the queue is full: SYNs are dropped now
        }
        ADD_FAILURE() << "accept queue never filled";
    }
};

// A blocking socket connected to 127.0.0.1:port.
inline gt::net::Socket connectTo(unsigned short port) {
    gt::net::Socket socket(gt::net::Socket::TYPE_TCP);
    socket.connect(loopback(port));
    return socket;
}

}  // namespace test
}  // namespace gt
