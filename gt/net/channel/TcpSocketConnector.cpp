#include "gt/net/channel/TcpSocketConnector.h"

#include <errno.h>

#include <utility>

namespace gt {
namespace net {

TcpSocketConnector::TcpSocketConnector(SocketEventSelector* selector)
    : m_socket(0),
      m_timer(0),
      m_selector(selector),
      m_cancelled(false),
      m_reuseAddress(false),
      m_lastError(0) {}

TcpSocketConnector::~TcpSocketConnector() {
    m_callback = nullptr;
    _closeSocket();
}

void TcpSocketConnector::connect(SocketAddress const& remote, Callback callback, int timeoutMs) {
    connect(remote, SocketAddress::none(), std::move(callback), timeoutMs);
}

void TcpSocketConnector::connect(SocketAddress const& remote, SocketAddress const& local, Callback callback,
                                 int timeoutMs) {
    if (isConnecting()) {
        m_lastError = EALREADY;
        m_liveness.call(std::move(callback), nullptr);
        return;
    }
    errno = 0;
    Socket socket(Socket::TYPE_TCP);
    // Only a given local address or port is bound before the connect. A bind
    // to port 0 takes a port of its own for good (no other connection, to
    // any peer, may share it, and it stays taken through TIME_WAIT), which
    // runs the local port range dry under many short connections and costs
    // a search of every bound port per connect; connect chooses among the
    // ports that are free for this one peer. With an address alone the port
    // is still left to connect.
    bool const bindFirst = !local.address().isNone() || local.port() != 0;
    bool const portLater = bindFirst && local.port() == 0;
    if (!socket.setBlocking(false) || (m_reuseAddress && !socket.setReuseAddress(true)) ||
        (portLater && !socket.setBindAddressNoPort(true)) || (bindFirst && !socket.bind(local)) ||
        !socket.connect(remote)) {
        m_lastError = errno != 0 ? errno : EINVAL;
        socket = Socket(0);  // closed before the owner hears of it
        m_liveness.call(std::move(callback), nullptr);
        return;
    }
    _closeSocket();  // a socket left over from an earlier connect, if any
    m_socket.swap(socket);
    // A cancel belongs to the connect it was made for.
    m_cancelled = false;
    m_timer.start(timeoutMs);
    if (m_selector != nullptr) m_selector->addEventHandler(m_socket.handle(), this);
    m_callback = std::move(callback);
}

bool TcpSocketConnector::cancel() {
    if (!isConnecting()) return false;
    m_socket.shutdown(Socket::SHUT_RECEIVE);
    m_socket.setLinger(true, 0);
    m_cancelled = true;
    return true;
}

int TcpSocketConnector::getEvents() {
    if (!isConnecting()) return 0;
    return m_cancelled ? (EVENT_READ | EVENT_WRITE) : EVENT_WRITE;
}

void TcpSocketConnector::onEvent(int bits) {
    if (!isConnecting()) return;
    int const error = m_cancelled ? ECANCELED : m_socket.pendingError();
    if (error != 0) {
        _fail(error);
        return;
    }
    // Writability ends the connect; it is checked again so that a spurious
    // report is not taken for a connection.
    bool connected = (bits & EVENT_WRITE) != 0 && m_socket.wait(false, true, false, 0);
    if (!connected) {
        if (m_timer.isExpired()) _fail(ETIMEDOUT);
        return;
    }
    // The connector is idle before the owner hears of the result, so the
    // callback may connect again or destroy the connector.
    if (m_selector != nullptr) m_selector->removeEventHandler(m_socket.handle());
    Socket socket(std::move(m_socket));
    m_lastError = 0;
    m_liveness.call(std::exchange(m_callback, nullptr), &socket);
    if (socket.isValid()) socket.setLinger(true, 0);  // not taken over: reset it
}

void TcpSocketConnector::_fail(int error) {
    m_lastError = error;
    Callback callback = std::exchange(m_callback, nullptr);
    _closeSocket();
    m_liveness.call(std::move(callback),
                    nullptr);  // the connector is idle: the owner may reuse or destroy it
}

void TcpSocketConnector::_closeSocket() {
    if (!m_socket.isValid()) return;
    m_socket.setLinger(true, 0);
    if (m_selector != nullptr) m_selector->removeEventHandler(m_socket.handle());
    Socket closing(0);
    closing.swap(m_socket);
}

}  // namespace net
}  // namespace gt
