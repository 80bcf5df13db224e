// The assembled cloud-API transport, owning every layer from the thread
// lock at the top to the per-server connection at the bottom:
//   shared lock -> body encryption and clock offset -> server selection,
//   retry and back-off -> one kept-alive connection to the chosen server.
// An ApiClient over it gets encrypted, server-optimised, thread-safe calls.
// It is the one place that builds the layers, their order and idle time-out:
// each program's context holds one (the service's Application on the
// "/device" root from its local bind address, the desktop client's on "/user").
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"
#include "gt/net/URL.h"
#include "gt/net/socket/SocketAddress.h"
#include "gt/util/IHttpAccess.h"
#include "tunnel/api/EncryptedHttpClient.h"
#include "tunnel/api/HostOptimizer.h"
#include "tunnel/api/OptimizedHttpClient.h"
#include "tunnel/api/SaOptimizer.h"
#include "tunnel/api/SharedHttpClient.h"

namespace tunnel {

class ApiAccess : public gt::util::IHttpAccess {
public:
    // Kept connections to the chosen server live this long while idle.
    static constexpr int IDLE_TIMEOUT_MS = 120000;

    // apiUrl is the program root the probe pings ("/util" is appended);
    // hosts are the server entries; spec the body encryption. local is the
    // address every connection, probes included, is made from (the
    // none-endpoint: any).
    ApiAccess(gt::net::URL const& apiUrl, gt::core::Array<gt::core::String> const& hosts,
              gt::core::String const& spec,
              gt::net::SocketAddress const& local = gt::net::SocketAddress::none());
    ApiAccess(ApiAccess const&) = delete;
    ApiAccess& operator=(ApiAccess const&) = delete;
    ~ApiAccess() override;

    bool request(gt::net::HttpRequest const& request, gt::net::HttpResponse* response, bool https,
                 int timeoutMs) override;

    // The probe: one encrypted "ping" on apiUrl through throw-away clients,
    // connected from local to the candidate address; passes when it answers.
    // It runs on the optimizer's workers and keeps copies of its arguments.
    static SaOptimizer::Tester _apiSAOP(gt::net::URL const& apiUrl, gt::core::String const& spec,
                                        gt::net::SocketAddress const& local = gt::net::SocketAddress::none());

private:
    gt::net::URL m_apiUrl;
    gt::core::Array<gt::core::String> m_hosts;
    gt::core::String m_spec;
    SaOptimizer m_saOptimizer;
    HostOptimizer m_hostOptimizer;
    OptimizedHttpClient m_optimized;
    EncryptedHttpClient m_encrypted;
    SharedHttpClient m_shared;
};

}  // namespace tunnel
