#include "tunnel/forward/tcp/GatewayTcpForwardClient.h"

#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/Integer.h"
#include "gt/net/channel/TcpSocketChannel.h"
#include "gt/net/socket/Socket.h"

using gt::core::Binary;
using gt::core::String;

namespace tunnel {

char const GatewayTcpForwardClient::MASK;

GatewayTcpForwardClient::GatewayTcpForwardClient(gt::net::SocketEventSelector* selector, NatAcl* acl,
                                                 short channelId, gt::net::SocketAddress const& target,
                                                 gt::net::SocketAddress const& bind,
                                                 gt::net::SocketAddress const& peer)
    : ForwardClient(selector, acl, channelId, target, bind, peer),
      m_state(State::INIT),
      m_connector(selector),
      m_heldCredit(0),
      m_overrun(false),
      m_readPaused(false),
      m_loginDeadline(LOGIN_TIMEOUT_MS) {}

GatewayTcpForwardClient::~GatewayTcpForwardClient() = default;

void GatewayTcpForwardClient::mask(Binary& data) {
    char* p = data.data();
    for (int i = 0, n = data.length(); i < n; ++i)
        p[i] ^= MASK;
}

void GatewayTcpForwardClient::_beginChecking() {
    m_state = State::CHECKING;
    // The relay may now send the login line.
    _fireConnect(true);
}

bool GatewayTcpForwardClient::_take(int n) {
    if (m_overrun) return false;
    if (m_credit.take(n)) return true;
    _debug(u"channel overrun, closing channelId=" + gt::core::Integer(m_channelId).toString());
    _closeNow();
    return false;
}

void GatewayTcpForwardClient::_closeNow() {
    m_overrun = true;
    m_buffer = Binary();
    if (m_state == State::CONNECTED) {
        GT_ASSERT(m_channel);
        m_channel->close();
    } else if (m_state == State::CONNECTING) {
        m_connector.cancel();
    } else {
        _close();
    }
}

void GatewayTcpForwardClient::abort() {
    if (m_state == State::CLOSED || m_overrun) return;
    _closeNow();
}

void GatewayTcpForwardClient::setReadPaused(bool paused) {
    m_readPaused = paused;
    if (m_channel) m_channel->setReadPaused(paused);
}

void GatewayTcpForwardClient::send(Binary& data) {
    if (m_state == State::INIT) _beginChecking();
    switch (m_state) {
        case State::CHECKING:
            if (!_take(data.length())) return;
            m_buffer.append(data);
            _parseLogin();
            break;
        case State::CONNECTING:
            if (!_take(data.length())) return;
            m_buffer.append(data);
            break;
        case State::CONNECTED:
            GT_ASSERT(m_channel);
            if (!_take(data.length())) return;
            mask(data);
            m_channel->send(data);
            break;
        default:
            break;
    }
}

void GatewayTcpForwardClient::window(int credit) {
    if (m_state == State::INIT) _beginChecking();
    if (credit <= 0) return;
    switch (m_state) {
        case State::CHECKING:
        case State::CONNECTING:
            m_heldCredit = credit > 0x7fffffff - m_heldCredit ? 0x7fffffff : m_heldCredit + credit;
            break;
        case State::CONNECTED:
            GT_ASSERT(m_channel);
            if (!m_channel->recv(credit)) m_channel->recv(0x7fffffff - m_channel->recvCredit());
            break;
        default:
            break;
    }
}

void GatewayTcpForwardClient::shutdown() {
    switch (m_state) {
        case State::INIT:
        case State::CHECKING:
            _close();
            break;
        case State::CONNECTING:
            if (!m_connector.cancel()) _close();
            break;
        case State::CONNECTED:
            GT_ASSERT(m_channel);
            m_channel->shutdown();
            break;
        default:
            break;
    }
}

void GatewayTcpForwardClient::onAclChanged() {
    if (m_state == State::CLOSED) return;
    if (!m_acl->gateway) {
        _debug(u"ACL: Gateway disabled!");
        shutdown();
        return;
    }
    // A user who has not logged in yet is checked against the policy in force
    // when the login line arrives.
    if (m_state == State::INIT || m_state == State::CHECKING) return;
    String reason;
    if (!m_acl->checkMember(m_name, m_password, &reason)) {
        _debug(u"ACL: Member valid: " + reason);
        shutdown();
    }
}

int GatewayTcpForwardClient::loginTimeLeft() const {
    if (m_state != State::INIT && m_state != State::CHECKING) return -1;
    return m_loginDeadline.remaining();
}

void GatewayTcpForwardClient::tick() {
    if (loginTimeLeft() < 0 || !m_loginDeadline.isExpired()) return;
    _debug(u"gateway login timed out, closing channelId=" + gt::core::Integer(m_channelId).toString());
    _close();
}

void GatewayTcpForwardClient::_close() {
    m_state = State::CLOSED;
    m_buffer = Binary();
    _fireDisconnect();
}

void GatewayTcpForwardClient::_reply(Binary const& text) {
    Binary reply(text);
    if (m_heldCredit < reply.length()) {
        _debug(u"PreRecv Too small!");
        _close();
        return;
    }
    m_heldCredit -= reply.length();
    _fireRecv(reply);
}

void GatewayTcpForwardClient::_parseLogin() {
    int const end = m_buffer.indexOf(Binary("\r\n"));
    if (end < 0 ? m_buffer.length() >= MAX_LOGIN_LINE : end + 2 > MAX_LOGIN_LINE) {
        _reply(Binary("ERROR Invalid header\r\n"));
        if (m_state != State::CLOSED) _close();
        return;
    }
    if (end < 0) return;

    int const lineLength = end + 2;
    String const line = String::fromUtf8(m_buffer.data(), end);
    m_buffer.remove(0, lineLength);
    m_credit.consume(lineLength);

    int const blank1 = line.indexOf(u' ');
    String const method = blank1 < 0 ? line : line.left(blank1);
    String name, password;
    if (blank1 >= 0) {
        int const blank2 = line.indexOf(u' ', blank1 + 1);
        name = blank2 < 0 ? line.mid(blank1 + 1, line.length()) : line.mid(blank1 + 1, blank2 - blank1 - 1);
        if (blank2 >= 0) {
            int const blank3 = line.indexOf(u' ', blank2 + 1);
            password =
                blank3 < 0 ? line.mid(blank2 + 1, line.length()) : line.mid(blank2 + 1, blank3 - blank2 - 1);
        }
    }
    if (method != u"GATEWAY") {
        _reply(Binary("ERROR Invalid method\r\n"));
        if (m_state != State::CLOSED) _close();
        return;
    }
    String reason;
    if (!m_acl->checkMember(name, password, &reason)) {
        Binary text("ERROR ");
        text.append(reason.toBinary()).append("\r\n");
        _reply(text);
        if (m_state != State::CLOSED) _close();
        return;
    }
    m_name = name;
    m_password = password;
    _reply(Binary("OK\r\n"));
    if (m_state == State::CHECKING) _connect();
}

void GatewayTcpForwardClient::_connect() {
    GT_ASSERT(m_state == State::CHECKING);
    GT_ASSERT(!m_connector.isConnecting());
    m_state = State::CONNECTING;
    m_connector.connect(m_target, &m_bind, [this](gt::net::Socket* socket) { _onConnect(socket); });
}

void GatewayTcpForwardClient::_onConnect(gt::net::Socket* socket) {
    if (m_state != State::CONNECTING) return;
    if (!socket) {
        _logConnectFailure(m_connector.lastError());
        _close();
        return;
    }
    m_channel = LocalConnector::openChannel(socket, m_selector);
    m_channel->setReadPaused(m_readPaused);
    m_channel->onClosed = [this]() { _close(); };
    m_channel->onRecv = [this](Binary& data) {
        mask(data);
        _fireRecv(data);
    };
    m_channel->onSent = [this](int n) { _onSent(n); };
    m_state = State::CONNECTED;
    if (!m_buffer.isEmpty()) {
        mask(m_buffer);
        m_channel->send(m_buffer);
        m_buffer = Binary();
    }
    if (m_heldCredit > 0) {
        m_channel->recv(m_heldCredit);
        m_heldCredit = 0;
    }
}

void GatewayTcpForwardClient::_onSent(int n) {
    int const credit = m_credit.written(n);
    if (credit > 0) _fireWindow(credit);
}

}  // namespace tunnel
