#include "svr/DeviceApiClient.h"

#include "gt/core/lang/LockGuard.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;

namespace tunnel {

char16_t const* const DeviceApiClient::CLIENT_VERSION = u"2.0.7";

DeviceApiClient::DeviceApiClient(gt::util::IHttpAccess* transport, gt::net::URL const& root,
                                 String const& sessionId)
    : ApiClient(transport, root, sessionId) {}

DeviceApiClient::~DeviceApiClient() = default;

bool DeviceApiClient::login(String const& token) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params;
    params.set(u"token", Any(token));
    params.set(u"version", Any(CLIENT_VERSION));
    Dictionary<Any> result;
    if (!call(u"/account", u"login", params, &result, kCallTimeoutMs)) return false;
    setSessionId(gt::core::toString(result.get(u"session_id")));
    return true;
}

void DeviceApiClient::logout() {
    gt::core::LockGuard guard(&callLock());
    call(u"/account", u"logout", sessionParams(), nullptr, kCallTimeoutMs);
    setSessionId(String());
}

bool DeviceApiClient::queryMyDevice(Dictionary<Any>* device) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> result;
    if (!call(u"/account", u"query_my_device", sessionParams(), &result, kCallTimeoutMs)) return false;
    Any const* value = result.find(u"device");
    if (value == nullptr || !value->is<Dictionary<Any> >()) return false;
    if (device != nullptr) *device = value->cast<Dictionary<Any> >();
    return true;
}

bool DeviceApiClient::enumForwards(Array<Any>* forwards) {
    return callForList(u"/instance", u"enum_forwards", sessionParams(), u"forwards", forwards);
}

}  // namespace tunnel
