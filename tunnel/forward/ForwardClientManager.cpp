#include "tunnel/forward/ForwardClientManager.h"

#include "gt/core/lang/Fatal.h"
#include "gt/core/util/Array.h"
#include "tunnel/forward/tcp/GatewayTcpForwardClient.h"
#include "tunnel/forward/tcp/StandardTcpForwardClient.h"

namespace tunnel {

ForwardClientManager::ForwardClientManager(gt::net::SocketEventSelector* selector, NatAcl* acl)
    : m_selector(selector), m_acl(acl) {
    GT_ASSERT(m_selector);
    GT_ASSERT(m_acl);
}

ForwardClientManager::~ForwardClientManager() {
    for (auto& entry : m_clients) {
        delete entry.second;
        entry.second = nullptr;
    }
    m_clients.clear();
}

ForwardClient* ForwardClientManager::createClient(short channelId, gt::core::String const& protocol,
                                                  gt::net::SocketAddress const& target,
                                                  gt::net::SocketAddress const& bind,
                                                  gt::net::SocketAddress const& peer) {
    if (m_clients.contains(channelId)) return nullptr;
    if (protocol == u"udp") return nullptr;
    ForwardClient* client;
    if (m_acl->gateway) {
        client = new GatewayTcpForwardClient(m_selector, m_acl, channelId, target, bind, peer);
    } else {
        client = new StandardTcpForwardClient(m_selector, m_acl, channelId, target, bind, peer);
    }
    m_clients.set(channelId, client);
    return client;
}

ForwardClient* ForwardClientManager::find(short channelId) const {
    ForwardClient* const* found = m_clients.find(channelId);
    return found ? *found : nullptr;
}

void ForwardClientManager::removeClient(short channelId) {
    ForwardClient* const* found = m_clients.find(channelId);
    if (!found) return;
    ForwardClient* client = *found;
    m_clients.remove(channelId);
    delete client;
}

void ForwardClientManager::removeDeadClients() {
    gt::core::Array<short> dead;
    for (auto const& entry : m_clients) {
        if (!entry.second->isAlive()) dead.add(entry.first);
    }
    for (short id : dead)
        removeClient(id);
}

}  // namespace tunnel
