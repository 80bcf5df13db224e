#include "tunnel/api/SharedHttpClient.h"

#include "gt/core/lang/LockGuard.h"

namespace tunnel {

SharedHttpClient::SharedHttpClient(gt::util::IHttpAccess* inner) : m_inner(inner) {}

SharedHttpClient::~SharedHttpClient() = default;

bool SharedHttpClient::request(gt::net::HttpRequest const& request, gt::net::HttpResponse* response,
                               bool https, int timeoutMs) {
    if (!m_inner) return false;
    gt::core::LockGuard guard(&m_lock);
    return m_inner->request(request, response, https, timeoutMs);
}

}  // namespace tunnel
