#include "tunnel/api/ApiAccess.h"

#include "tunnel/api/ApiClient.h"
#include "tunnel/api/SaHttpClient.h"

using gt::core::String;

namespace tunnel {

ApiAccess::ApiAccess(gt::net::URL const& apiUrl, gt::core::Array<String> const& hosts, String const& spec,
                     gt::net::SocketAddress const& local)
    : m_apiUrl(apiUrl),
      m_hosts(hosts),
      m_spec(spec),
      m_saOptimizer(_apiSAOP(apiUrl, spec, local)),
      m_hostOptimizer(&m_saOptimizer),
      m_optimized(&m_hostOptimizer, hosts, kIdleTimeoutMs, local),
      m_encrypted(&m_optimized, spec),
      m_shared(&m_encrypted) {}

ApiAccess::~ApiAccess() = default;

bool ApiAccess::request(gt::net::HttpRequest const& request, gt::net::HttpResponse* response, bool https,
                        int timeoutMs) {
    return m_shared.request(request, response, https, timeoutMs);
}

SaOptimizer::Tester ApiAccess::_apiSAOP(gt::net::URL const& apiUrl, String const& spec,
                                        gt::net::SocketAddress const& local) {
    return [apiUrl, spec, local](gt::net::SocketAddress const& address) {
        SaHttpClient server(address, -1, local);
        EncryptedHttpClient encrypted(&server, spec);
        ApiClient client(&encrypted, apiUrl, String());
        return client.ping() >= 0;
    };
}

}  // namespace tunnel
