// What one tunnel is opened with.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/net/socket/SocketAddress.h"

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

    // "a.b.c.d:port": the text before the first ':' as a dotted IPv4 address
    // (a host name gives 0.0.0.0, which fails at once), the text after it as
    // a decimal port kept in 16 bits (unusable: 0).
    static gt::net::SocketAddress parseServer(gt::core::String const& server);
};

}  // namespace tunnel
