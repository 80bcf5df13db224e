// The one transport interface of the HTTP clients: send one request and
// receive its response within a time-out.
#pragma once

#include "gt/net/HttpRequest.h"
#include "gt/net/HttpResponse.h"

namespace gt {
namespace util {

class IHttpAccess {
public:
    // Sends the request and fills response; true when a complete response
    // arrived, whatever its status. https tells whether the URL's scheme was
    // https; timeoutMs bounds the whole exchange. On failure a transport may
    // leave a text in the response's reason.
    virtual bool request(net::HttpRequest const& request, net::HttpResponse* response, bool https,
                         int timeoutMs) = 0;
    virtual ~IHttpAccess() = default;
};

}  // namespace util
}  // namespace gt
