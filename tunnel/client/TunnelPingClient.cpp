#include "tunnel/client/TunnelPingClient.h"

#include "gt/core/util/TickClock.h"
#include "tunnel/client/DicRpc.h"

using gt::core::Binary;
using gt::core::Dictionary;

namespace tunnel {

TunnelPingClient::TunnelPingClient(gt::net::SocketEventSelector* selector,
                                   gt::net::SocketAddress const& server, gt::net::SocketAddress const& bind)
    : ProtocolClient(selector, server, bind) {
    ProtocolClient::onConnected = [this] { _handle_ping(); };
    ProtocolClient::onConnectFailed = [this] { _error(Error::connectionLost()); };
    ProtocolClient::onClosed = [this] { _error(Error::connectionLost()); };
}

TunnelPingClient::~TunnelPingClient() = default;

void TunnelPingClient::_handle_ping() {
    unsigned const start = gt::core::getTickCount();
    rpc()->call(
        u"ping", Dictionary<Binary>(),
        [this, start](Dictionary<Binary> const&) {
            m_liveness.call(onPing, static_cast<int>(gt::core::getTickCount() - start));
        },
        [this](Error const& error) { _error(error); });
}

void TunnelPingClient::_error(Error const& error) {
    // The owner may delete this client inside: the error it is given must
    // not live in it.
    Error const copy = error;
    m_liveness.call(onError, copy);
}

}  // namespace tunnel
