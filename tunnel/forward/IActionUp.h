// Tunnel-to-local side: the decoded datagrams of a tunnel, as the forwarder
// receives them.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/net/socket/SocketAddress.h"

namespace tunnel {

class IActionUp {
public:
    // A public connection arrived on the relay.
    virtual void connect(short channelId, gt::net::SocketAddress const& peer) = 0;
    // Bytes of the public user for the local side.
    virtual void send(short channelId, gt::core::Binary& data) = 0;
    // The same bytes read in place (valid for the call only); by default
    // they are copied into a buffer for send.
    virtual void sendBytes(short channelId, char const* data, int length) {
        gt::core::Binary copy(data, length);
        send(channelId, copy);
    }
    // Credit from the relay: bytes the local side may send to it.
    virtual void window(short channelId, int credit) = 0;
    // The relay closed the channel.
    virtual void shutdown(short channelId) = 0;
    // Periodic step.
    virtual void process() = 0;
    virtual int channelCount() const = 0;
    // The access policy was changed.
    virtual void onAclChanged() = 0;
    virtual ~IActionUp() = default;
};

}  // namespace tunnel
