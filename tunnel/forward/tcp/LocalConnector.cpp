#include "tunnel/forward/tcp/LocalConnector.h"

#include "gt/core/lang/Fatal.h"
#include "gt/core/util/Random.h"
#include "gt/net/channel/TcpSocketChannel.h"
#include "gt/net/channel/TcpSocketConnector.h"
#include "gt/net/socket/Socket.h"
#include "tunnel/forward/ForwardClient.h"

using gt::net::Socket;
using gt::net::SocketAddress;

namespace tunnel {

LocalConnector::LocalConnector(gt::net::SocketEventSelector* selector)
    : m_selector(selector),
      m_connector(new gt::net::TcpSocketConnector(selector)),
      m_starting(false),
      m_failedAtOnce(false) {}

LocalConnector::~LocalConnector() { delete m_connector; }

void LocalConnector::connect(SocketAddress const& target, SocketAddress* bind,
                             std::function<void(Socket*)> done) {
    GT_ASSERT(bind);
    if (target.address().isNone()) {
        // Nothing to connect to: on this system 0.0.0.0 would reach the local host.
        done(nullptr);
        return;
    }
    bool const chosenPort = bind->port() != 0 && !bind->address().isNone();
    for (int attempt = 1;; ++attempt) {
        m_starting = true;
        m_failedAtOnce = false;
        m_connector->connect(
            target, *bind,
            [this, done](Socket* socket) {
                if (m_starting && !socket) {
                    m_failedAtOnce = true;
                    return;
                }
                done(socket);
            },
            ForwardClient::CONNECT_TIMEOUT_MS);
        m_starting = false;
        if (!m_failedAtOnce) return;
        if (!chosenPort || attempt >= BIND_ATTEMPTS) break;
        *bind = SocketAddress(bind->address(), loopbackSourcePort(bind->port() & 0xFF));
    }
    done(nullptr);
}

bool LocalConnector::isConnecting() const { return m_connector->isConnecting(); }

bool LocalConnector::cancel() { return m_connector->cancel(); }

gt::net::TcpSocketChannel* LocalConnector::openChannel(Socket* socket,
                                                       gt::net::SocketEventSelector* selector) {
    socket->setNoDelay(true);
    // The kernel's own buffer sizes are kept: with buffers of a few KiB every
    // write waits for a delayed acknowledgement (up to 40 ms per 16 KiB here),
    // which throttles a channel to a few hundred KB/s.
    gt::net::TcpSocketChannel* channel = new gt::net::TcpSocketChannel(socket, selector);
    channel->setRecvKeepSize(16384);
    channel->setSendKeepSize(16384);
    channel->setIdleTimeout(ForwardClient::IDLE_TIMEOUT_MS);
    return channel;
}

unsigned short LocalConnector::loopbackSourcePort(int lowByte) {
    int const high = gt::core::Random().nextInt(4, 256);
    return static_cast<unsigned short>(high * 256 + (lowByte & 0xFF));
}

}  // namespace tunnel
