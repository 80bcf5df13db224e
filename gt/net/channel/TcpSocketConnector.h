// One outgoing TCP connect at a time, without blocking the thread: the
// connected socket, or null on failure, time-out or cancel, goes to a callback.
#pragma once

#include <functional>

#include "gt/core/lang/Liveness.h"
#include "gt/core/util/Timer.h"
#include "gt/net/ISocketEventHandler.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/socket/Socket.h"

namespace gt {
namespace net {

class TcpSocketConnector : private ISocketEventHandler {
public:
    // The receiver takes the socket over (swap or move it into its own);
    // what it leaves behind is closed after the call.
    using Callback = std::function<void(Socket*)>;

    // The selector drives the connect and its time-out (at its tick); not owned.
    explicit TcpSocketConnector(SocketEventSelector* selector);
    TcpSocketConnector(TcpSocketConnector const&) = delete;
    TcpSocketConnector& operator=(TcpSocketConnector const&) = delete;
    // Drops a pending connect without calling its callback. Safe from inside
    // the connector's own callback.
    ~TcpSocketConnector() override;

    // Starts a connect from the local bind address. The callback is called
    // exactly once: at once with null when a connect is already pending or the
    // set-up fails, else from the selector's events.
    void connect(SocketAddress const& remote, SocketAddress const& local, Callback callback, int timeoutMs);
    // The same, bound to the any-address with a port the system picks.
    void connect(SocketAddress const& remote, Callback callback, int timeoutMs);
    bool isConnecting() const { return m_socket.isValid() && static_cast<bool>(m_callback); }
    // Aborts the pending connect; its callback gets null at the next event
    // (readiness or tick). False when nothing is pending.
    bool cancel();
    // Sets SO_REUSEADDR on the sockets of later connects, so that a chosen
    // source port still held in TIME_WAIT by an earlier connection can be
    // bound again.
    void setReuseAddress(bool on) { m_reuseAddress = on; }
    // Why the last connect failed, as a system error number (see
    // gt::core::systemErrorText): ETIMEDOUT after the time-out, ECANCELED
    // after cancel(), EALREADY while busy; 0 after a success.
    int lastError() const { return m_lastError; }

    int getEvents() override;
    void onEvent(int bits) override;

private:
    void _fail(int error);
    void _closeSocket();

    Socket m_socket;
    gt::core::Timer m_timer;
    SocketEventSelector* m_selector;
    bool m_cancelled;
    bool m_reuseAddress;
    int m_lastError;
    Callback m_callback;
    gt::core::Liveness m_liveness;
};

}  // namespace net
}  // namespace gt
