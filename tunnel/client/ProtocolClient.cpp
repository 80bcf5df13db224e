#include "tunnel/client/ProtocolClient.h"

#include "gt/core/lang/Fatal.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/channel/TcpSocketConnector.h"
#include "gt/net/socket/Socket.h"
#include "tunnel/client/DicRpc.h"
#include "tunnel/client/ProtocolChannel.h"

using gt::core::Binary;
using gt::core::Dictionary;

namespace tunnel {

ProtocolClient::ProtocolClient(gt::net::SocketEventSelector* selector, gt::net::SocketAddress const& server,
                               gt::net::SocketAddress const& bind)
    : m_selector(selector), m_server(server), m_failed(false) {
    GT_ASSERT(m_selector);
    m_connector = std::make_unique<gt::net::TcpSocketConnector>(m_selector);
    m_connector->connect(
        server, bind, [this](gt::net::Socket* socket) { _onConnect(socket); }, CONNECT_TIMEOUT_MS);
}

ProtocolClient::~ProtocolClient() = default;

bool ProtocolClient::sendDictionary(Dictionary<Binary> const& dictionary) {
    return m_channel != nullptr && m_channel->sendDictionary(dictionary);
}

bool ProtocolClient::sendDatagram(Binary const& datagram) {
    return m_channel != nullptr && m_channel->sendDatagram(datagram);
}

bool ProtocolClient::sendDatagram(char const* head, int headLength, char const* data, int length) {
    return m_channel != nullptr && m_channel->sendDatagram(head, headLength, data, length);
}

void ProtocolClient::close() {
    if (m_channel != nullptr) {
        m_channel->close();
    } else if (m_connector->isConnecting()) {
        m_connector->cancel();
    }
}

bool ProtocolClient::isConnected() const { return m_channel != nullptr && m_channel->isValid(); }

int ProtocolClient::lastSystemError() const {
    if (m_channel != nullptr && m_channel->lastError() != 0) return m_channel->lastError();
    return m_connector->lastError();
}

int ProtocolClient::sendQueueLength() const {
    return m_channel != nullptr ? m_channel->sendQueueLength() : 0;
}

void ProtocolClient::_onConnect(gt::net::Socket* socket) {
    if (socket == nullptr) {
        m_failed = true;
        m_liveness.call(onConnectFailed);
        return;
    }
    socket->setNoDelay(true);
    // The kernel's own buffer sizes are kept: with buffers of a few KiB every
    // write waits for a delayed acknowledgement (up to 40 ms per 16 KiB here),
    // which throttles the whole tunnel to a few hundred KB/s.
    m_channel = std::make_unique<ProtocolChannel>(socket, m_selector);
    m_channel->setRecvKeepSize(0x4000);
    m_channel->setSendKeepSize(0x4000);
    // A relay connection without any traffic for 60 s is closed.
    m_channel->setIdleTimeout(IDLE_TIMEOUT_MS);
    m_channel->setSendQueueLimit(SEND_QUEUE_LIMIT);
    m_channel->onClosed = [this] { m_liveness.call(onClosed); };
    m_channel->onDictionary = [this](Dictionary<Binary>& dictionary) {
        m_liveness.call(onDictionary, dictionary);
    };
    m_channel->onDatagramBytes = [this](char const* data, int length) {
        if (onDatagramBytes) {
            m_liveness.call(onDatagramBytes, data, length);
            return;
        }
        if (!onDatagram) return;
        Binary datagram(data, length);  // not a member: the owner may delete this client inside
        m_liveness.call(onDatagram, datagram);
    };
    m_channel->onSent = [this](int n) { m_liveness.call(onSent, n); };
    m_rpc = std::make_unique<DicRpc>(m_channel.get());
    m_liveness.call(onConnected);
}

}  // namespace tunnel
