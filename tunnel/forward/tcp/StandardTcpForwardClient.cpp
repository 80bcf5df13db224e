#include "tunnel/forward/tcp/StandardTcpForwardClient.h"

#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/Integer.h"
#include "gt/net/channel/TcpSocketChannel.h"
#include "gt/net/socket/Socket.h"

using gt::core::Binary;

namespace tunnel {

StandardTcpForwardClient::StandardTcpForwardClient(gt::net::SocketEventSelector* selector, NatAcl* acl,
                                                   short channelId, gt::net::SocketAddress const& target,
                                                   gt::net::SocketAddress const& bind,
                                                   gt::net::SocketAddress const& peer)
    : ForwardClient(selector, acl, channelId, target, bind, peer),
      m_state(State::CONNECTING),
      m_connector(selector),
      m_heldCredit(0),
      m_overrun(false),
      m_readPaused(false) {}

StandardTcpForwardClient::~StandardTcpForwardClient() = default;

void StandardTcpForwardClient::start() {
    if (m_state != State::CONNECTING || m_connector.isConnecting()) return;
    m_connector.connect(m_target, &m_bind, [this](gt::net::Socket* socket) { _onConnect(socket); });
}

void StandardTcpForwardClient::_onConnect(gt::net::Socket* socket) {
    if (!socket || m_state != State::CONNECTING) {
        if (!socket) _logConnectFailure(m_connector.lastError());
        m_state = State::CLOSED;
        m_pending = Binary();
        _fireConnect(false);
        return;
    }
    m_channel = LocalConnector::openChannel(socket, m_selector);
    m_channel->setReadPaused(m_readPaused);
    m_channel->onClosed = [this]() {
        m_state = State::CLOSED;
        _fireDisconnect();
    };
    m_channel->onRecv = [this](Binary& data) { _fireRecv(data); };
    m_channel->onSent = [this](int n) { _onSent(n); };
    m_state = State::CONNECTED;
    _fireConnect(true);
    if (m_state != State::CONNECTED) return;
    if (!m_pending.isEmpty()) {
        m_channel->send(m_pending);
        m_pending = Binary();
    }
    if (m_heldCredit > 0) {
        m_channel->recv(m_heldCredit);
        m_heldCredit = 0;
    }
}

void StandardTcpForwardClient::_onSent(int n) {
    int const credit = m_credit.written(n);
    if (credit > 0) _fireWindow(credit);
}

void StandardTcpForwardClient::_overrun() {
    _debug(u"channel overrun, closing channelId=" + gt::core::Integer(m_channelId).toString());
    _closeNow();
}

void StandardTcpForwardClient::abort() {
    if (m_state == State::CLOSED || m_overrun) return;
    _closeNow();
}

void StandardTcpForwardClient::_closeNow() {
    m_overrun = true;
    if (m_state == State::CONNECTING) {
        m_pending = Binary();
        if (!m_connector.cancel()) {
            // Not started: nothing will call back, so finish here.
            m_state = State::CLOSED;
            _fireConnect(false);
        }
    } else if (m_state == State::CONNECTED) {
        GT_ASSERT(m_channel);
        m_channel->close();
    }
}

void StandardTcpForwardClient::setReadPaused(bool paused) {
    m_readPaused = paused;
    if (m_channel) m_channel->setReadPaused(paused);
}

void StandardTcpForwardClient::send(Binary& data) { sendBytes(data.data(), data.length()); }

void StandardTcpForwardClient::sendBytes(char const* data, int length) {
    if (m_state == State::CLOSED || m_overrun) return;
    if (!m_credit.take(length)) {
        _overrun();
        return;
    }
    // Straight from the relay's receive stream into the local send queue.
    if (m_state == State::CONNECTING) {
        m_pending.append(data, length);
    } else {
        GT_ASSERT(m_channel);
        m_channel->send(data, length);
    }
}

void StandardTcpForwardClient::window(int credit) {
    if (m_state == State::CLOSED || credit <= 0) return;
    if (m_state == State::CONNECTING) {
        // Saturate: a relay that grants absurd amounts gets no overflow.
        m_heldCredit = credit > 0x7fffffff - m_heldCredit ? 0x7fffffff : m_heldCredit + credit;
    } else {
        GT_ASSERT(m_channel);
        if (!m_channel->recv(credit)) m_channel->recv(0x7fffffff - m_channel->recvCredit());
    }
}

void StandardTcpForwardClient::shutdown() {
    if (m_state == State::CONNECTING) {
        if (!m_connector.cancel()) {
            // Not started: nothing will call back, so finish here.
            m_state = State::CLOSED;
            _fireConnect(false);
        }
    } else if (m_state == State::CONNECTED) {
        GT_ASSERT(m_channel);
        m_channel->shutdown();
    }
}

void StandardTcpForwardClient::onAclChanged() {
    if (m_acl->gateway) {
        _debug(u"ACL: Gateway enabled!");
        shutdown();
    }
}

}  // namespace tunnel
