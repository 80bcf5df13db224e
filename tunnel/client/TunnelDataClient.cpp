#include "tunnel/client/TunnelDataClient.h"

#include "tunnel/client/DicRpc.h"

using gt::core::Binary;
using gt::core::Dictionary;

namespace tunnel {

TunnelDataClient::TunnelDataClient(gt::net::SocketEventSelector* selector,
                                   gt::net::SocketAddress const& server, gt::net::SocketAddress const& bind,
                                   gt::core::String const& accessId)
    : ProtocolClient(selector, server, bind), m_state(hasFailed() ? STATE_FAILED : STATE_CREATING) {
    ProtocolClient::onConnected = [this, accessId] { _handle_tunnel_create(accessId); };
    ProtocolClient::onConnectFailed = [this] { _fail(Error::connectionLost()); };
    ProtocolClient::onClosed = [this] {
        int const old = m_state;
        m_state = STATE_FAILED;
        if (old == STATE_CREATED) {
            m_liveness.call(onTunnelClosed);
        } else if (old == STATE_CREATING) {
            _fail(Error::connectionLost());
        }
    };
}

TunnelDataClient::~TunnelDataClient() = default;

void TunnelDataClient::_handle_tunnel_create(gt::core::String const& accessId) {
    Dictionary<Binary> params;
    params.set(u"access_id", accessId.toBinary());
    rpc()->call(
        u"tunnel_create", params,
        [this](Dictionary<Binary> const&) {
            m_state = STATE_CREATED;
            m_liveness.call(onCreated);
        },
        [this](Error const& error) { _fail(error); });
}

void TunnelDataClient::abandon(Error const& error) {
    if (m_state != STATE_CREATING) return;
    // Failed first, so the close that follows reports nothing more.
    m_state = STATE_FAILED;
    close();
    _fail(error);
}

void TunnelDataClient::_fail(Error const& error) {
    m_state = STATE_FAILED;
    m_error = error;
    // The owner may delete this client inside: the error it is given must
    // not live in it.
    Error const copy = error;
    m_liveness.call(onError, copy);
}

}  // namespace tunnel
