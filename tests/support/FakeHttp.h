// The one in-process IHttpAccess of the tests: records every exchange (the
// request, the bytes a channel would send for it, https and the time-out)
// and answers it through the function `answer` when one is set, else with the
// next canned reply queued by queue(); with neither the exchange fails.
//
// Several threads may send through one fake: the recording and the queue
// take its lock, and requests() / last() read under it. The public `calls`
// and `replies` may be read and changed directly while no exchange runs.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "gt/core/io/StreamBuffer.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/JSON.h"
#include "gt/net/channel/HttpCapsulator.h"
#include "gt/util/IHttpAccess.h"
#include "support/Text.h"

namespace gt {
namespace test {

class FakeHttp : public gt::util::IHttpAccess {
public:
    struct Call {
        std::string wire;  // request line, headers and body
        gt::net::HttpRequest request;
        bool https;
        int timeoutMs;
    };

    // One canned reply: ok false makes the exchange fail (with the reason
    // left in the response).
    struct Canned {
        bool ok = true;
        int status = 200;
        std::string reason = "OK";
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
    };

    // Fills the response; false makes the transport fail.
    using Answer = std::function<bool(gt::net::HttpRequest const&, gt::net::HttpResponse&)>;

    bool request(gt::net::HttpRequest const& request, gt::net::HttpResponse* response, bool https,
                 int timeoutMs) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            calls.push_back({wireOf(request), request, https, timeoutMs});
        }
        if (beforeAnswer) beforeAnswer();
        if (answer) {
            gt::net::HttpResponse reply;
            if (!answer(request, reply)) return false;
            if (response) *response = reply;
            return true;
        }
        Canned canned;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (replies.empty()) return false;
            canned = replies.front();
            replies.pop_front();
        }
        return fill(canned, response);
    }

    // Queues one canned reply; the reference is for adding headers or
    // turning it into a failure.
    Canned& queue(int status, std::string body = "", std::string reason = "OK") {
        std::lock_guard<std::mutex> lock(m_mutex);
        replies.emplace_back();
        replies.back().status = status;
        replies.back().body = std::move(body);
        replies.back().reason = std::move(reason);
        return replies.back();
    }

    std::vector<gt::net::HttpRequest> requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<gt::net::HttpRequest> out;
        for (Call const& call : calls)
            out.push_back(call.request);
        return out;
    }
    gt::net::HttpRequest last() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return calls.back().request;
    }

    Answer answer;
    std::function<void()> beforeAnswer;  // runs inside each exchange, before it is answered
    std::vector<Call> calls;
    std::deque<Canned> replies;

private:
    static std::string wireOf(gt::net::HttpRequest const& request) {
        gt::core::StreamBuffer sb(1 << 30, 0);
        gt::net::HttpCapsulator cap(&sb);
        cap.writeRequestLine(request.method, request.target, request.version);
        cap.writeHeaders(request.headers);
        cap.writeBody(request.body);
        return std::string(sb.data(), static_cast<size_t>(sb.available()));
    }

    static bool fill(Canned const& canned, gt::net::HttpResponse* response) {
        response->reason = gt::core::String::fromUtf8(canned.reason.c_str());
        if (!canned.ok) return false;
        response->version = u"HTTP/1.1";
        response->statusCode = canned.status;
        for (auto const& h : canned.headers) {
            gt::core::String name = gt::core::String::fromUtf8(h.first.c_str());
            gt::core::String value = gt::core::String::fromUtf8(h.second.c_str());
            if (gt::core::String* existing = response->headers.find(name)) {
                *existing += u"\r\n";
                *existing += value;
            } else {
                response->headers.set(name, value);
            }
        }
        response->body = gt::core::Binary(canned.body.data(), static_cast<int>(canned.body.size()));
        return true;
    }

    std::mutex m_mutex;
};

// The JSON-RPC request object a request carried.
inline gt::core::Dictionary<gt::core::Any> rpcOf(gt::net::HttpRequest const& request) {
    gt::core::Dictionary<gt::core::Any> object;
    gt::core::JSON::decode(request.body.utf8ToString(), &object);
    return object;
}

inline std::string methodOf(gt::net::HttpRequest const& request) {
    return gt::test::utf8(gt::core::toString(rpcOf(request).get(u"method")));
}

inline gt::core::Dictionary<gt::core::Any> paramsOf(gt::net::HttpRequest const& request) {
    gt::core::Dictionary<gt::core::Any> const rpc = rpcOf(request);
    gt::core::Any const& params = rpc.get(u"params");
    return params.is<gt::core::Dictionary<gt::core::Any>>()
               ? params.cast<gt::core::Dictionary<gt::core::Any>>()
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

// Answers the requests with the members in turn; once they are used up the
// transport fails.
inline FakeHttp::Answer replyInTurn(std::vector<std::string> members) {
    auto left = std::make_shared<std::deque<std::string>>(members.begin(), members.end());
    return [left](gt::net::HttpRequest const& request, gt::net::HttpResponse& reply) {
        if (left->empty()) return false;
        rpcReply(request, reply, left->front());
        left->pop_front();
        return true;
    };
}

}  // namespace test
}  // namespace gt
