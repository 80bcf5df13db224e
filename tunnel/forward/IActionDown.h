// Local-to-tunnel side: what a forwarder sends back over its tunnel.
#pragma once

#include "gt/core/lang/Binary.h"

namespace tunnel {

class IActionDown {
public:
    // A DATA datagram with the bytes (at most 65535).
    virtual void send(short channelId, gt::core::Binary const& data) = 0;
    // A WINDOW datagram: the relay may send credit more bytes on the channel.
    virtual void window(short channelId, int credit) = 0;
    // A SHUTDOWN datagram: the channel is closed.
    virtual void shutdown(short channelId) = 0;
    virtual ~IActionDown() = default;
};

}  // namespace tunnel
