// Picks a working API server from entries of the form host, colon, port:
// resolves the entries one by one and lets the address optimizer probe each
// entry's addresses.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"
#include "gt/net/socket/SocketAddress.h"
#include "tunnel/api/SaOptimizer.h"

namespace tunnel {

class HostOptimizer {
public:
    // optimizer is not owned.
    explicit HostOptimizer(SaOptimizer* optimizer);
    HostOptimizer(HostOptimizer const&) = delete;
    HostOptimizer& operator=(HostOptimizer const&) = delete;
    virtual ~HostOptimizer();

    // The first working address of the first entry that has one, or the
    // none-endpoint. An entry that does not resolve is skipped.
    gt::net::SocketAddress optimize(gt::core::Array<gt::core::String> const& hosts);

    // The addresses to probe for one entry (port 80 when none is given).
    static gt::core::Array<gt::net::SocketAddress> candidates(gt::core::String const& entry);

private:
    SaOptimizer* m_optimizer;
};

}  // namespace tunnel
