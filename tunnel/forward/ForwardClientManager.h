// The forward clients of one forwarder, by channel id; creates the kind that
// the access policy asks for and owns every client it holds.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Map.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/socket/SocketAddress.h"
#include "tunnel/forward/ForwardClient.h"
#include "tunnel/util/NatAcl.h"

namespace tunnel {

class ForwardClientManager {
public:
    using Clients = gt::core::Map<short, ForwardClient*>;

    ForwardClientManager(gt::net::SocketEventSelector* selector, NatAcl* acl);
    ForwardClientManager(ForwardClientManager const&) = delete;
    ForwardClientManager& operator=(ForwardClientManager const&) = delete;
    // Deletes every client in ascending channel-id order.
    virtual ~ForwardClientManager();

    // A new client for the channel: the gateway client when the policy's
    // gateway login is on, the standard one otherwise. Null when the channel
    // id is in use or the protocol is "udp". The client is not started.
    ForwardClient* createClient(short channelId, gt::core::String const& protocol,
                                gt::net::SocketAddress const& target, gt::net::SocketAddress const& bind,
                                gt::net::SocketAddress const& peer);
    ForwardClient* find(short channelId) const;
    // Deletes the client of the channel, if any.
    void removeClient(short channelId);
    // Deletes every client that is no longer alive.
    void removeDeadClients();
    int count() const { return m_clients.count(); }

    // Ascending channel-id order (signed).
    Clients::const_iterator begin() const { return m_clients.begin(); }
    Clients::const_iterator end() const { return m_clients.end(); }

private:
    gt::net::SocketEventSelector* m_selector;
    NatAcl* m_acl;
    Clients m_clients;
};

}  // namespace tunnel
