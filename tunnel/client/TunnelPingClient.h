// Measures one round trip to a relay server: connect, then one "ping" call.
#pragma once

#include <functional>

#include "tunnel/client/Error.h"
#include "tunnel/client/ProtocolClient.h"

namespace tunnel {

class TunnelPingClient : public ProtocolClient {
public:
    // A connect that fails at once shows as hasFailed() right after construction.
    TunnelPingClient(gt::net::SocketEventSelector* selector, gt::net::SocketAddress const& server,
                     gt::net::SocketAddress const& bind);
    ~TunnelPingClient() override;

    // The round trip in ms.
    std::function<void(int)> onPing;
    // Connect failure or close (code -1), or the server's error reply.
    std::function<void(Error const&)> onError;

private:
    void _handle_ping();
    void _error(Error const& error);
};

}  // namespace tunnel
