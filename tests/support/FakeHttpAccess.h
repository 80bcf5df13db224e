// An in-process IHttpAccess: records each request as the bytes the channel
// would send, and answers from a script of canned responses.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "gt/core/io/StreamBuffer.h"
#include "gt/net/channel/HttpCapsulator.h"
#include "gt/util/IHttpAccess.h"

namespace gt {
namespace test {

class FakeHttpAccess : public util::IHttpAccess {
public:
    struct Call {
        std::string wire;  // request line, headers and body
        net::HttpRequest request;
        bool https;
        int timeoutMs;
    };

    // One canned answer: false makes the exchange fail.
    struct Answer {
        bool ok = true;
        int status = 200;
        std::string reason = "OK";
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
    };

    bool request(net::HttpRequest const& request, net::HttpResponse* response, bool https,
                 int timeoutMs) override {
        core::StreamBuffer sb(1 << 30, 0);
        net::HttpCapsulator cap(&sb);
        cap.writeRequestLine(request.method, request.target, request.version);
        cap.writeHeaders(request.headers);
        cap.writeBody(request.body);
        calls.push_back(
            {std::string(sb.data(), static_cast<size_t>(sb.available())), request, https, timeoutMs});
        if (beforeAnswer) beforeAnswer();
        if (answers.empty()) return false;
        Answer answer = answers.front();
        answers.pop_front();
        if (!answer.ok) {
            response->reason = core::String::fromUtf8(answer.reason.c_str());
            return false;
        }
        response->version = u"HTTP/1.1";
        response->statusCode = answer.status;
        response->reason = core::String::fromUtf8(answer.reason.c_str());
        for (auto const& h : answer.headers) {
            core::String name = core::String::fromUtf8(h.first.c_str());
            core::String value = core::String::fromUtf8(h.second.c_str());
            if (core::String* existing = response->headers.find(name)) {
                *existing += u"\r\n";
                *existing += value;
            } else {
                response->headers.set(name, value);
            }
        }
        response->body = core::Binary(answer.body.data(), static_cast<int>(answer.body.size()));
        return true;
    }

    Answer& answer(int status, std::string body = "", std::string reason = "OK") {
        answers.emplace_back();
        answers.back().status = status;
        answers.back().body = std::move(body);
        answers.back().reason = std::move(reason);
        return answers.back();
    }

    std::deque<Answer> answers;
    std::vector<Call> calls;
    std::function<void()> beforeAnswer;  // runs inside each exchange
};

}  // namespace test
}  // namespace gt
