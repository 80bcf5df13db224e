#include "tunnel/api/ApiClient.h"

#include <atomic>
#include <climits>
#include <unordered_map>

#include "gt/core/lang/Exception.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/lang/LockGuard.h"
#include "gt/core/lang/NumberText.h"
#include "gt/core/util/TickClock.h"
#include "gt/util/JsonRpcClient.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;

namespace tunnel {

namespace {

struct CallError {
    int code = 0;
    String message;
};

// Each thread's last error per client (by serial): a thread reads the error
// of its own call, whatever other threads' calls did since.
thread_local std::unordered_map<unsigned long long, CallError> t_errors;
std::atomic<unsigned long long> s_nextSerial{1};

String utf8(char const* text) { return String::fromUtf8(text); }

// root with text appended to its path; nothing is added or removed between.
gt::net::URL appendPath(gt::net::URL const& root, String const& path) {
    String text = root.toString(true, true, false, false, false);
    text += root.path();
    text += path;
    if (!root.query().isEmpty()) text += u"?" + root.query();
    if (!root.fragment().isEmpty()) text += u"#" + root.fragment();
    return gt::net::URL(text);
}

}  // namespace

ApiClient::ApiClient(gt::util::IHttpAccess* transport, gt::net::URL const& root, String const& sessionId)
    : m_webClient(transport),
      m_root(root),
      m_serial(s_nextSerial.fetch_add(1)),
      m_sessionId(sessionId),
      m_hasSession(!sessionId.isEmpty()) {}

ApiClient::~ApiClient() { t_errors.erase(m_serial); }

int ApiClient::errorCode() const {
    auto const found = t_errors.find(m_serial);
    return found == t_errors.end() ? 0 : found->second.code;
}

String ApiClient::errorMessage() const {
    auto const found = t_errors.find(m_serial);
    return found == t_errors.end() ? String() : found->second.message;
}

void ApiClient::_fail(int code, String const& message) {
    CallError& error = t_errors[m_serial];
    error.code = code;
    error.message = message;
}

String ApiClient::missingText(String const& key, char const* kind) {
    return utf8("服务器的响应不正确: 'result' 中没有 '") + key + utf8("' ") + utf8(kind) +
           utf8(", 请稍后重试");
}

bool ApiClient::call(String const& path, String const& method, Dictionary<Any> const& params,
                     Dictionary<Any>* result, int timeout) {
    gt::core::LockGuard guard(&m_callLock);
    t_errors.erase(m_serial);
    m_webClient.setExchangeTimeout(timeout);
    m_webClient.setTotalTimeout(timeout);
    gt::net::URL const url = appendPath(m_root, path);

    Any answer;
    try {
        gt::util::JsonRpcClient rpc(&m_webClient, url);
        answer = rpc.call(method, params);
    } catch (gt::util::RpcException const& e) {
        if (e.code() == SESSION_INVALID) setSessionId(String());
        String message = e.message();
        if (message.isEmpty()) {
            message = utf8("服务器返回了错误 (代码 ") + gt::core::Integer(e.code()).toString() +
                      utf8("), 但没有说明原因, 请稍后重试");
        }
        _fail(e.code(), message);
        return false;
    } catch (gt::core::Exception const& e) {
        String message = e.message();
        if (message.isEmpty()) message = utf8("调用服务器失败, 原因不明, 请稍后重试");
        _fail(LOCAL_ERROR, message);
        return false;
    }

    if (answer.isEmpty()) {
        if (result) result->clear();
        return true;
    }
    if (answer.is<Dictionary<Any> >()) {
        if (result) *result = answer.cast<Dictionary<Any> >();
        return true;
    }
    _fail(LOCAL_ERROR, utf8("服务器的响应不正确: 'result' 既不是对象也不是 null, 请稍后重试"));
    return false;
}

int ApiClient::ping() {
    unsigned const start = gt::core::getTickCount();
    if (!call(u"/util", u"ping", Dictionary<Any>(), nullptr, PING_TIMEOUT_MS)) return -1;
    unsigned const elapsed = gt::core::getTickCount() - start;
    return static_cast<int>(elapsed & 0x7FFFFFFFu);
}

Dictionary<Any> ApiClient::sessionParams() const {
    Dictionary<Any> params;
    params.set(u"session_id", Any(m_sessionId));
    return params;
}

bool ApiClient::callForList(String const& path, String const& method, Dictionary<Any> const& params,
                            String const& key, Array<Any>* items, int maxItems) {
    gt::core::LockGuard guard(&m_callLock);
    Dictionary<Any> result;
    if (!call(path, method, params, &result, CALL_TIMEOUT_MS)) return false;
    Any* list = result.find(key);
    if (!list || !list->is<Array<Any> >()) {
        _fail(LOCAL_ERROR, missingText(key, "列表"));
        return false;
    }
    Array<Any>& found = list->cast<Array<Any> >();
    if (maxItems > 0 && found.count() > maxItems) {
        _fail(LOCAL_ERROR, utf8("服务器返回的 '") + key + utf8("' 列表有 ") +
                               gt::core::Integer(found.count()).toString() +
                               utf8(" 项, 超过了本客户端能处理的 ") + gt::core::Integer(maxItems).toString() +
                               utf8(" 项, 未能读取"));
        return false;
    }
    if (items) items->swap(found);
    return true;
}

String normalizeLoginName(String const& name) {
    long long const value = gt::core::detail::parseDecimal(name, LLONG_MIN, LLONG_MAX);
    String const canonical = gt::core::detail::formatDecimal(value);
    if (canonical == name && !name.startsWith(u"86")) return u"86" + name;
    return name;
}

}  // namespace tunnel
