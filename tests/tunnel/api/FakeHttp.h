// An in-process IHttpAccess for the cloud API tests: records every request
// and answers it through a function the test gives.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "gt/core/lang/Any.h"
#include "gt/core/util/JSON.h"
#include "gt/util/IHttpAccess.h"
#include "support/Text.h"

namespace tunnel {
namespace test {

class FakeHttp : public gt::util::IHttpAccess {
public:
    // Fills the response; false makes the transport fail.
    using Answer = std::function<bool(gt::net::HttpRequest const&, gt::net::HttpResponse&)>;

    Answer answer;

    bool request(gt::net::HttpRequest const& request, gt::net::HttpResponse* response, bool, int) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(request);
        }
        gt::net::HttpResponse reply;
        if (!answer || !answer(request, reply)) return false;
        if (response) *response = reply;
        return true;
    }

    std::vector<gt::net::HttpRequest> requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    gt::net::HttpRequest last() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests.back();
    }

private:
    std::mutex m_mutex;
    std::vector<gt::net::HttpRequest> m_requests;
};

// The JSON-RPC request object a request carried.
inline gt::core::Dictionary<gt::core::Any> rpcOf(gt::net::HttpRequest const& request) {
    gt::core::Dictionary<gt::core::Any> object;
    gt::core::JSON::decode(request.body.utf8ToString(), &object);
    return object;
}

inline gt::core::Dictionary<gt::core::Any> paramsOf(gt::net::HttpRequest const& request) {
    gt::core::Dictionary<gt::core::Any> const rpc = rpcOf(request);
    gt::core::Any const& params = rpc.get(u"params");
    return params.is<gt::core::Dictionary<gt::core::Any> >()
               ? params.cast<gt::core::Dictionary<gt::core::Any> >()
               : gt::core::Dictionary<gt::core::Any>();
}

inline std::string paramsJson(gt::net::HttpRequest const& request) {
    gt::core::String text;
    gt::core::JSON::encode(paramsOf(request), &text, false);
    return gt::test::utf8(text);
}

// A 200 reply whose body is {"jsonrpc":"2.0","id":<the request's id>,<member>}
// with member written as JSON text, e.g. "\"result\":null".
inline void rpcReply(gt::net::HttpRequest const& request, gt::net::HttpResponse& reply,
                     std::string const& member) {
    long long id = gt::core::toLong(rpcOf(request).get(u"id"));
    std::string body = "{\"jsonrpc\":\"2.0\",\"id\":" + std::to_string(id) + "," + member + "}";
    reply.version = u"HTTP/1.1";
    reply.statusCode = 200;
    reply.reason = u"OK";
    reply.headers.set(u"Content-Type", u"application/json");
    reply.body = gt::test::bin(body);
}

// Answers every request with the same member.
inline FakeHttp::Answer replyWith(std::string const& member) {
    return [member](gt::net::HttpRequest const& request, gt::net::HttpResponse& reply) {
        rpcReply(request, reply, member);
        return true;
    };
}

}  // namespace test
}  // namespace tunnel
