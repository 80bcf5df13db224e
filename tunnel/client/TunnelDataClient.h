// Relay connection of one tunnel: connects, opens the tunnel with
// "tunnel_create" and the forward's access key, then carries the tunnel's
// datagrams (sendDatagram / onDatagram of the base).
#pragma once

#include <functional>

#include "gt/core/lang/String.h"
#include "tunnel/client/Error.h"
#include "tunnel/client/ProtocolClient.h"

namespace tunnel {

class TunnelDataClient : public ProtocolClient {
public:
    enum { STATE_CREATING = 0, STATE_CREATED = 1, STATE_FAILED = 2 };

    // A connect that fails at once leaves the client in STATE_FAILED with
    // lastError() code -1, before any callback could be set.
    TunnelDataClient(gt::net::SocketEventSelector* selector, gt::net::SocketAddress const& server,
                     gt::net::SocketAddress const& bind, gt::core::String const& accessId);
    ~TunnelDataClient() override;

    // 0 connecting or creating, 1 created, 2 failed or closed.
    int state() const { return m_state; }
    // The failure that ended the client (code -1, empty text, until one happened).
    Error const& lastError() const { return m_error; }

    // Ends a client that is still creating the tunnel: closes the connection
    // and reports the error through onError. Nothing in any other state.
    void abandon(Error const& error);
    std::function<void()> onCreated;
    std::function<void(Error const&)> onError;
    std::function<void()> onTunnelClosed;

private:
    void _handle_tunnel_create(gt::core::String const& accessId);
    void _fail(Error const& error);

    int m_state;
    Error m_error;
};

}  // namespace tunnel
