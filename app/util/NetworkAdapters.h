// The computer's network adapters as far as the client offers them for the
// service program's local address ("net.local_ip"): the IPv4 addresses of
// the adapters that are up and running (getifaddrs).
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"

namespace tunnel {

class NetworkAdapters {
public:
    // Dotted-decimal IPv4 addresses of the adapters that are up and running,
    // in the system's order; empty when the list cannot be read.
    static gt::core::Array<gt::core::String> ipv4Addresses();
    // The addresses worth binding to, in their order: without empty texts and
    // without those whose part before the first '.' is "127" (loopback) or
    // "0" (none).
    static gt::core::Array<gt::core::String> bindable(gt::core::Array<gt::core::String> const& addresses);
};

}  // namespace tunnel
