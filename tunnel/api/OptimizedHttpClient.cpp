#include "tunnel/api/OptimizedHttpClient.h"

#include "gt/core/lang/Integer.h"

using gt::core::String;
using gt::net::HttpRequest;
using gt::net::HttpResponse;

namespace tunnel {

OptimizedHttpClient::OptimizedHttpClient(HostOptimizer* optimizer, gt::core::Array<String> const& hosts,
                                         int idleTimeoutMs, gt::net::SocketAddress const& local)
    : m_optimizer(optimizer), m_hosts(hosts), m_idleTimeout(idleTimeoutMs), m_local(local), m_backOff(0) {}

OptimizedHttpClient::~OptimizedHttpClient() = default;

bool OptimizedHttpClient::isBackingOff() const { return m_backOff.interval() > 0 && !m_backOff.isExpired(); }

gt::net::SocketAddress OptimizedHttpClient::currentServer() const {
    return m_client ? m_client->server() : gt::net::SocketAddress::none();
}

bool OptimizedHttpClient::request(HttpRequest const& request, HttpResponse* response, bool https,
                                  int timeoutMs) {
    if (!m_optimizer) return false;
    if (isBackingOff()) {
        if (response) {
            response->reset();
            response->version = u"HTTP/1.1";
            response->statusCode = -1;
            int const seconds = (m_backOff.remaining() + 999) / 1000;
            response->reason = String::fromUtf8("网络优化中,请等待") + gt::core::Integer(seconds).toString() +
                               String::fromUtf8("秒");
        }
        return true;
    }
    if (m_client) {
        if (_try(m_client.get(), request, response, https, timeoutMs)) return true;
        m_client.reset();
    }
    m_client = _newClient();
    if (!m_client) return false;
    if (_try(m_client.get(), request, response, https, timeoutMs)) return true;
    m_client.reset();
    return false;
}

bool OptimizedHttpClient::_try(SaHttpClient* client, HttpRequest const& request, HttpResponse* response,
                               bool https, int timeoutMs) {
    HttpResponse reply;
    if (!client->request(request, &reply, https, timeoutMs)) {
        // Why it failed, when the server's client could tell.
        if (response && !reply.reason.isEmpty()) response->reason = reply.reason;
        return false;
    }
    if (static_cast<unsigned>(reply.statusCode - 100) >= 300u) {
        // The server answered: "cannot reach the network" would send the
        // user to check the wrong thing.
        if (response) {
            response->reason = String::fromUtf8("服务器返回了 HTTP ") +
                               gt::core::Integer(reply.statusCode).toString() +
                               String::fromUtf8(" 错误, 请稍后重试");
        }
        return false;
    }
    if (response) response->swap(reply);
    return true;
}

std::unique_ptr<SaHttpClient> OptimizedHttpClient::_newClient() {
    if (isBackingOff()) return nullptr;
    gt::net::SocketAddress const server = m_optimizer->optimize(m_hosts);
    if (server == gt::net::SocketAddress::none()) {
        m_backOff.start(BACK_OFF_MS);
        return nullptr;
    }
    m_backOff.start(0);
    return std::make_unique<SaHttpClient>(server, m_idleTimeout, m_local);
}

}  // namespace tunnel
