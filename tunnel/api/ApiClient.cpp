#include "tunnel/api/ApiClient.h"

#include <climits>

#include "gt/core/lang/Exception.h"
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
      m_errorCode(0),
      m_sessionId(sessionId),
      m_hasSession(!sessionId.isEmpty()) {}

ApiClient::~ApiClient() = default;

int ApiClient::errorCode() const {
    gt::core::LockGuard guard(&m_callLock);
    return m_errorCode;
}

String ApiClient::errorMessage() const {
    gt::core::LockGuard guard(&m_callLock);
    return m_errorMessage;
}

void ApiClient::_fail(int code, String const& message) {
    m_errorCode = code;
    m_errorMessage = message;
}

bool ApiClient::call(String const& path, String const& method, Dictionary<Any> const& params,
                     Dictionary<Any>* result, int timeout) {
    gt::core::LockGuard guard(&m_callLock);
    m_errorCode = 0;
    m_errorMessage.clear();
    m_webClient.setExchangeTimeout(timeout);
    m_webClient.setTotalTimeout(timeout);
    gt::net::URL const url = appendPath(m_root, path);

    Any answer;
    try {
        gt::util::JsonRpcClient rpc(&m_webClient, url);
        answer = rpc.call(method, params);
    } catch (gt::util::RpcException const& e) {
        if (e.code() == SESSION_INVALID) setSessionId(String());
        _fail(e.code(), e.message());
        return false;
    } catch (gt::core::Exception const& e) {
        _fail(LOCAL_ERROR, e.message());
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
    _fail(LOCAL_ERROR, u"Bad rpc return: not dic or null");
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
                            String const& key, Array<Any>* items) {
    gt::core::LockGuard guard(&m_callLock);
    Dictionary<Any> result;
    if (!call(path, method, params, &result, CALL_TIMEOUT_MS)) return false;
    Any const* list = result.find(key);
    if (!list || !list->is<Array<Any> >()) return false;
    if (items) *items = list->cast<Array<Any> >();
    return true;
}

String normalizeLoginName(String const& name) {
    long long const value = gt::core::detail::parseDecimal(name, LLONG_MIN, LLONG_MAX);
    String const canonical = gt::core::detail::formatDecimal(value);
    if (canonical == name && !name.startsWith(u"86")) return u"86" + name;
    return name;
}

}  // namespace tunnel
