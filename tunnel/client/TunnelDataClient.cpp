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
            if (onTunnelClosed) onTunnelClosed();
        } else if (old == STATE_CREATING) {
            m_error = Error::connectionLost();
            if (onError) onError(m_error);
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
            if (onCreated) onCreated();
        },
        [this](Error const& error) { _fail(error); });
}

void TunnelDataClient::_fail(Error const& error) {
    m_state = STATE_FAILED;
    m_error = error;
    if (onError) onError(m_error);
}

}  // namespace tunnel
