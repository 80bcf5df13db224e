#include "gt/util/JsonRpcClient.h"

#include "gt/core/lang/Exception.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/lang/Sequence.h"
#include "gt/core/util/JSON.h"

namespace gt {
namespace util {

using core::Any;
using core::Dictionary;
using core::Exception;
using core::String;

namespace {

String utf8(char const* text) { return String::fromUtf8(text); }

// How much of a reply that is not JSON goes into the error message.
constexpr int kQuotedReplyLength = 64;

}  // namespace

JsonRpcClient::JsonRpcClient(WebClient* client, net::URL const& endpoint)
    : m_client(client), m_endpoint(endpoint) {}

JsonRpcClient::~JsonRpcClient() = default;

Any JsonRpcClient::call(String const& method, Dictionary<Any> const& params) {
    return call(m_endpoint, method, params);
}

Any JsonRpcClient::call(net::URL const& url, String const& method, Dictionary<Any> const& params) {
    int const id = core::nextSequence();
    Dictionary<Any> request;
    request.set(u"jsonrpc", Any(u"2.0"));
    request.set(u"id", Any(id));
    request.set(u"method", Any(method));
    request.set(u"params", Any(params));
    String text;
    if (!core::JSON::encode(request, &text, true)) throw Exception(utf8("未能将请求内容转换为JSON格式"));

    String replyText = post(url, text);
    Dictionary<Any> reply;
    if (!core::JSON::decode(replyText, &reply)) {
        throw Exception(utf8("响应内容不是有效JSON格式: '") + replyText.left(kQuotedReplyLength) + u"...'");
    }

    if (Any const* error = reply.find(u"error")) {
        if (!error->is<Dictionary<Any> >()) {
            throw Exception(utf8("收到一个 JSON-RPC 异常, 但 'error' 字段结构不正确, 未能读取异常描述"));
        }
        Dictionary<Any> const& fields = error->cast<Dictionary<Any> >();
        int code = core::toInt(fields.get(u"code"));
        String message = core::toString(fields.get(u"message"));
        if (code == -32601) throw RpcMethodNotFoundException(message);
        if (code == -32602) throw RpcBadParamsException(message);
        throw RpcException(message, code);
    }
    Any const* result = reply.find(u"result");
    if (!result) {
        throw Exception(utf8("JSON-RPC 收到一个不正确的响应结构, 既没有 'error' 字段也没有 'result' 字段"));
    }
    if (core::toInt(reply.get(u"id")) != id) throw Exception(utf8("JSON-RPC 响应中的 'id' 与请求的不一致"));
    return *result;
}

String JsonRpcClient::post(net::URL const& url, String const& text) {
    HttpContent content(u"application/json", text.toBinary());
    if (m_client && m_client->request(u"POST", url, Dictionary<String>(), content, true)) {
        return m_client->body().utf8ToString();
    }
    int status = m_client ? m_client->statusCode() : -1;
    String reason = m_client ? m_client->reason() : String();
    if (status < 0) {
        if (reason.isEmpty()) throw Exception(utf8("HTTP: 无法访问网络"));
        throw Exception(u"HTTP: " + reason);
    }
    String message = u"HTTP: " + core::Integer(status).toString();
    if (!reason.isEmpty()) message += u" - " + reason;
    throw Exception(message);
}

}  // namespace util
}  // namespace gt
