// An IHttpAccess layer that hides server selection: it sends through a
// client bound to the API server the host optimizer found, drops that
// client when it fails, searches again, and backs off for a while when no
// server answers, answering meanwhile with a reply that asks to wait.
#pragma once

#include <memory>

#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/Timer.h"
#include "gt/net/socket/SocketAddress.h"
#include "gt/util/IHttpAccess.h"
#include "tunnel/api/HostOptimizer.h"
#include "tunnel/api/SaHttpClient.h"

namespace tunnel {

class OptimizedHttpClient : public gt::util::IHttpAccess {
public:
    static constexpr int BACK_OFF_MS = 15000;

    // optimizer is not owned. local is the address the server clients
    // connect from (the none-endpoint: any).
    OptimizedHttpClient(HostOptimizer* optimizer, gt::core::Array<gt::core::String> const& hosts,
                        int idleTimeoutMs,
                        gt::net::SocketAddress const& local = gt::net::SocketAddress::none());
    OptimizedHttpClient(OptimizedHttpClient const&) = delete;
    OptimizedHttpClient& operator=(OptimizedHttpClient const&) = delete;
    ~OptimizedHttpClient() override;

    // At most two attempts: the current server, then one found afresh. A
    // reply outside 100..399 counts as a failed attempt. While backing off:
    // true at once with status -1 and a reason that tells the seconds left.
    bool request(gt::net::HttpRequest const& request, gt::net::HttpResponse* response, bool https,
                 int timeoutMs) override;

    bool isBackingOff() const;
    // The server in use, or the none-endpoint.
    gt::net::SocketAddress currentServer() const;

private:
    std::unique_ptr<SaHttpClient> _newClient();
    bool _try(SaHttpClient* client, gt::net::HttpRequest const& request, gt::net::HttpResponse* response,
              bool https, int timeoutMs);

    HostOptimizer* m_optimizer;
    gt::core::Array<gt::core::String> m_hosts;
    std::unique_ptr<SaHttpClient> m_client;
    int m_idleTimeout;
    gt::net::SocketAddress m_local;
    gt::core::Timer m_backOff;
};

}  // namespace tunnel
