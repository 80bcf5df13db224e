#include "tunnel/util/TunnelConfig.h"

using gt::core::String;

namespace tunnel {

gt::net::SocketAddress TunnelConfig::parseServer(String const& server) {
    int const colon = server.indexOf(u':');
    String const host = colon < 0 ? server : server.left(colon);
    String const port = colon < 0 ? String() : server.mid(colon + 1, server.length() - colon - 1);
    // An unusable port reads as 0, which fails at once.
    return gt::net::SocketAddress(gt::net::IpAddress(host), gt::net::parsePort(port));
}

}  // namespace tunnel
