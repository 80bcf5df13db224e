// The local side of one channel of a forward: the TCP connection from the
// service to the forward's local target that carries one public connection.
#pragma once

#include <functional>

#include "gt/core/lang/Binary.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/socket/SocketAddress.h"
#include "tunnel/util/EngineLog.h"
#include "tunnel/util/NatAcl.h"

namespace tunnel {

class ForwardClient {
public:
    // Credit the forwarder grants the relay when a channel's local side is
    // ready for data.
    static constexpr int INITIAL_WINDOW = 0x20000;
    // Most bytes of the relay that a channel keeps while they wait to be
    // written locally: the initial credit plus slack. A relay that sends
    // beyond it ignores the credit, and the channel is closed.
    static constexpr int MAX_UNWRITTEN = INITIAL_WINDOW + 0x10000;
    // Most bytes one read of the local connection takes: a whole window, so
    // that a channel with all its credit takes it in one call (with 64 KiB
    // reads a window took three, the last of a few bytes). The tunnel cuts
    // the bytes into DATA frames that stay below 64 KiB toward the relay.
    static constexpr int READ_BLOCK = INITIAL_WINDOW;
    // Time-outs of the local connection.
    static constexpr int CONNECT_TIMEOUT_MS = 10000;
    static constexpr int IDLE_TIMEOUT_MS = 900000;

    ForwardClient(gt::net::SocketEventSelector* selector, NatAcl* acl, short channelId,
                  gt::net::SocketAddress const& target, gt::net::SocketAddress const& bind,
                  gt::net::SocketAddress const& peer);
    ForwardClient(ForwardClient const&) = delete;
    ForwardClient& operator=(ForwardClient const&) = delete;
    virtual ~ForwardClient();

    // Starts the client's work once the owner has set the callbacks, so that
    // even a failure found at once reaches them.
    virtual void start() = 0;
    // False once the client is closed.
    virtual bool isAlive() const = 0;
    // Bytes from the relay for the local side.
    virtual void send(gt::core::Binary& data) = 0;
    // The same bytes read in place (valid for the call only); by default
    // they are copied into a buffer for send.
    virtual void sendBytes(char const* data, int length) {
        gt::core::Binary copy(data, length);
        send(copy);
    }
    // Credit from the relay: bytes the local side may send to it.
    virtual void window(int credit) = 0;
    // Closes the channel.
    virtual void shutdown() = 0;
    // The access policy was changed.
    virtual void onAclChanged() = 0;
    // Milliseconds left for the public user to log in; -1 when the client
    // waits for no login.
    virtual int loginTimeLeft() const { return -1; }
    // The forwarder's periodic look (about once a second): deadlines.
    virtual void tick() {}
    // Stops or restarts reading the local connection (the relay's queue is
    // full or has drained); a connection opened while paused starts paused.
    virtual void setReadPaused(bool paused) = 0;
    // Ends the channel at once, dropping what is queued either way: bytes of
    // the local side could not be passed on, and the stream must not go on
    // with a gap. SHUTDOWN follows through onDisconnect or onConnect(false).
    virtual void abort() = 0;

    // Where the client's lines go (not owned; null drops them).
    void setLog(EngineLog* log) { m_log = log; }
    short channelId() const { return m_channelId; }
    gt::net::SocketAddress const& target() const { return m_target; }
    gt::net::SocketAddress const& bind() const { return m_bind; }
    gt::net::SocketAddress const& peer() const { return m_peer; }

    // Success of the local side: true when data may flow (the forwarder
    // grants the relay INITIAL_WINDOW), false when it failed.
    std::function<void(bool)> onConnect;
    // The channel closed after a successful onConnect.
    std::function<void()> onDisconnect;
    // Bytes for the relay.
    std::function<void(gt::core::Binary&)> onRecv;
    // Credit for the relay: bytes written to the local side.
    std::function<void(int)> onWindow;

protected:
    void _fireConnect(bool success) {
        if (onConnect) onConnect(success);
    }
    void _fireDisconnect() {
        if (onDisconnect) onDisconnect();
    }
    void _fireRecv(gt::core::Binary& data) {
        if (onRecv) onRecv(data);
    }
    void _fireWindow(int credit) {
        if (onWindow) onWindow(credit);
    }
    void _debug(gt::core::String const& message) {
        if (m_log) m_log->debug(message);
    }
    void _warn(gt::core::String const& message) {
        if (m_log) m_log->warn(message);
    }
    // Logs a failed local connect with the system's reason; a cancelled one
    // is no failure worth a line.
    void _logConnectFailure(int error);

    gt::net::SocketEventSelector* m_selector;
    NatAcl* m_acl;
    short m_channelId;
    gt::net::SocketAddress m_target;
    gt::net::SocketAddress m_bind;
    gt::net::SocketAddress m_peer;
    EngineLog* m_log = nullptr;
};

}  // namespace tunnel
