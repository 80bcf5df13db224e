#include "tunnel/forward/ForwardClient.h"

#include <cerrno>

#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/SystemError.h"

namespace tunnel {

ForwardClient::ForwardClient(gt::net::SocketEventSelector* selector, NatAcl* acl, short channelId,
                             gt::net::SocketAddress const& target, gt::net::SocketAddress const& bind,
                             gt::net::SocketAddress const& peer)
    : m_selector(selector), m_acl(acl), m_channelId(channelId), m_target(target), m_bind(bind), m_peer(peer) {
    GT_ASSERT(m_selector);
    GT_ASSERT(m_acl);
}

ForwardClient::~ForwardClient() = default;

void ForwardClient::_logConnectFailure(int error) {
    if (error == ECANCELED) return;
    gt::core::String text = u"[Tunnel] Local connect to " + m_target.toString() + u" failed";
    if (error != 0) text += u": " + gt::core::systemErrorText(error);
    _warn(text);
}

}  // namespace tunnel
