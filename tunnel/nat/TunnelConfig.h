// What one tunnel is opened with.
#pragma once

#include "gt/core/lang/String.h"

namespace tunnel {

struct TunnelConfig {
    // Relay server: dotted IPv4 text, ":" and the decimal port.
    gt::core::String server;
    // The forward's access key, sent as "access_id" when the tunnel is created.
    gt::core::String accessKey;
    // The forward's protocol; only "udp" is told apart from the rest.
    gt::core::String protocol;
    // The local target, "host:port"; the host "loopback" keeps the public
    // peer's address visible to the local service.
    gt::core::String target;
};

}  // namespace tunnel
