// An IHttpAccess layer that lets one request through at a time, so that the
// layers below, which are not thread-safe, serve several threads.
#pragma once

#include "gt/core/lang/CriticalSection.h"
#include "gt/util/IHttpAccess.h"

namespace tunnel {

class SharedHttpClient : public gt::util::IHttpAccess {
public:
    // inner is not owned; null makes every request fail.
    explicit SharedHttpClient(gt::util::IHttpAccess* inner);
    SharedHttpClient(SharedHttpClient const&) = delete;
    SharedHttpClient& operator=(SharedHttpClient const&) = delete;
    ~SharedHttpClient() override;

    bool request(gt::net::HttpRequest const& request, gt::net::HttpResponse* response, bool https,
                 int timeoutMs) override;

private:
    gt::core::CriticalSection m_lock;
    gt::util::IHttpAccess* m_inner;
};

}  // namespace tunnel
