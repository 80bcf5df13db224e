// JSON-RPC 2.0 calls over HTTP POST through a WebClient. Every failure is
// an exception: gt::core::Exception for transport, HTTP and format errors,
// the RpcException family for "error" replies.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/net/URL.h"
#include "gt/util/WebClient.h"

namespace gt {
namespace util {

class JsonRpcClient {
public:
    // client is not owned.
    JsonRpcClient(WebClient* client, net::URL const& endpoint);
    JsonRpcClient(JsonRpcClient const&) = delete;
    JsonRpcClient& operator=(JsonRpcClient const&) = delete;
    virtual ~JsonRpcClient();

    // The call's "result" (an empty Any for null).
    core::Any call(core::String const& method, core::Dictionary<core::Any> const& params);
    core::Any call(net::URL const& url, core::String const& method,
                   core::Dictionary<core::Any> const& params);
    // POSTs text as application/json; the reply body as text.
    core::String post(net::URL const& url, core::String const& text);

private:
    WebClient* m_client;
    net::URL m_endpoint;
};

}  // namespace util
}  // namespace gt
