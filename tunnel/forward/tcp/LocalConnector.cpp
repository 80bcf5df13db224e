#include "tunnel/forward/tcp/LocalConnector.h"

#include <cerrno>

#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/Random.h"
#include "gt/net/channel/TcpSocketChannel.h"
#include "gt/net/channel/TcpSocketConnector.h"
#include "gt/net/socket/Socket.h"
#include "tunnel/forward/ForwardClient.h"

using gt::net::Socket;
using gt::net::SocketAddress;

namespace tunnel {

LocalConnector::LocalConnector(gt::net::SocketEventSelector* selector)
    : m_selector(selector),
      m_connector(std::make_unique<gt::net::TcpSocketConnector>(selector)),
      m_starting(false),
      m_failedAtOnce(false) {}

LocalConnector::~LocalConnector() = default;

void LocalConnector::connect(SocketAddress const& target, SocketAddress* bind,
                             std::function<void(Socket*)> done) {
    GT_ASSERT(bind);
    if (target.address().isNone()) {
        // Nothing to connect to: on this system 0.0.0.0 would reach the local host.
        done(nullptr);
        return;
    }
    bool const chosenPort = bind->port() != 0 && !bind->address().isNone();
    // Every connection of one public peer maps to the same source address
    // and low port byte, so the candidates are few (one per high byte) and a
    // closed connection holds its port in TIME_WAIT for a minute: the ports
    // are bound with SO_REUSEADDR and every candidate is tried before the
    // connection is refused.
    m_connector->setReuseAddress(chosenPort);
    int const lowByte = bind->port() & 0xFF;
    int const candidates = LAST_HIGH_BYTE - FIRST_HIGH_BYTE + 1;
    int const firstOffset = (((bind->port() >> 8) - FIRST_HIGH_BYTE) % candidates + candidates) % candidates;
    for (int attempt = 0;; ++attempt) {
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
        int const error = m_connector->lastError();
        // Only a busy source port is worth another candidate.
        bool const portBusy = error == EADDRINUSE || error == EADDRNOTAVAIL;
        if (!chosenPort || !portBusy || attempt + 1 >= candidates) break;
        int const high = FIRST_HIGH_BYTE + (firstOffset + attempt + 1) % candidates;
        *bind = SocketAddress(bind->address(), static_cast<unsigned short>(high * 256 + lowByte));
    }
    done(nullptr);
}

int LocalConnector::lastError() const { return m_connector->lastError(); }

bool LocalConnector::isConnecting() const { return m_connector->isConnecting(); }

bool LocalConnector::cancel() { return m_connector->cancel(); }

std::unique_ptr<gt::net::TcpSocketChannel> LocalConnector::openChannel(
    Socket* socket, gt::net::SocketEventSelector* selector) {
    socket->setNoDelay(true);
    // The kernel's own buffer sizes are kept: with buffers of a few KiB every
    // write waits for a delayed acknowledgement (up to 40 ms per 16 KiB here),
    // which throttles a channel to a few hundred KB/s.
    auto channel = std::make_unique<gt::net::TcpSocketChannel>(socket, selector);
    channel->setRecvKeepSize(16384);
    channel->setRecvBlock(ForwardClient::READ_BLOCK);
    channel->setSendKeepSize(16384);
    channel->setIdleTimeout(ForwardClient::IDLE_TIMEOUT_MS);
    return channel;
}

unsigned short LocalConnector::loopbackSourcePort(int lowByte) {
    int const high = gt::core::Random().nextInt(FIRST_HIGH_BYTE, LAST_HIGH_BYTE + 1);
    return static_cast<unsigned short>(high * 256 + (lowByte & 0xFF));
}

}  // namespace tunnel
