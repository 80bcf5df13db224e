// The account calls of ApiClient that only the desktop client makes.
#include "gt/core/lang/LockGuard.h"
#include "tunnel/api/ApiClient.h"
#include "tunnel/api/user/Acl.h"
#include "tunnel/api/user/Device.h"
#include "tunnel/api/user/Forward.h"
#include "tunnel/api/user/Node.h"
#include "tunnel/api/user/Plan.h"
#include "tunnel/api/user/QuotaInfo.h"
#include "tunnel/api/user/Region.h"
#include "tunnel/api/user/User.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;

namespace tunnel {

namespace {

char16_t const kUtil[] = u"/util";
char16_t const kAccount[] = u"/account";
char16_t const kInstance[] = u"/instance";
char16_t const kProduct[] = u"/product";

// The version the cloud is told at login.
char16_t const kClientVersion[] = u"2.0.9";

bool isObject(Any const& value) { return value.is<Dictionary<Any> >(); }

Dictionary<Any> const& asObject(Any const& value) { return value.cast<Dictionary<Any> >(); }

// One record per object element of items, in order; other elements skipped.
template <class T, class Convert>
void fillList(Array<Any> const& items, Array<T>* out, Convert convert) {
    out->clear();
    for (Any const& element : items) {
        if (isObject(element)) out->add(convert(asObject(element)));
    }
}

}  // namespace

bool ApiClient::enumConfigs(Dictionary<String>* configs) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> result;
    if (!call(kUtil, u"enum_configs", Dictionary<Any>(), &result, CALL_TIMEOUT_MS)) return false;
    Any const& found = result.get(u"configs");
    if (!isObject(found)) {
        failCall(missingText(u"configs", "对象"));
        return false;
    }
    if (configs) {
        configs->clear();
        for (auto const& entry : asObject(found))
            configs->set(entry.first, gt::core::toString(entry.second));
    }
    return true;
}

bool ApiClient::login(String const& name, String const& password) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params;
    params.set(u"name", Any(normalizeLoginName(name)));
    params.set(u"pwd", Any(password));
    params.set(u"version", Any(kClientVersion));
    Dictionary<Any> result;
    if (!call(kAccount, u"login", params, &result, CALL_TIMEOUT_MS)) return false;
    setSessionId(gt::core::toString(result.get(u"session_id")));
    return true;
}

void ApiClient::logout() {
    gt::core::LockGuard guard(&callLock());
    if (sessionId().isEmpty()) return;
    call(kAccount, u"logout", sessionParams(), nullptr, CALL_TIMEOUT_MS);
    setSessionId(String());
}

bool ApiClient::queryMyUser(User* user) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> result;
    if (!call(kAccount, u"query_my_user", sessionParams(), &result, CALL_TIMEOUT_MS)) return false;
    Any const& found = result.get(u"user");
    if (!isObject(found)) {
        failCall(missingText(u"user", "对象"));
        return false;
    }
    if (user) *user = User::fromDictionary(asObject(found));
    return true;
}

bool ApiClient::enumRegions(Array<Region>* regions) {
    gt::core::LockGuard guard(&callLock());
    Array<Any> items;
    if (!callForList(kInstance, u"enum_regions", sessionParams(), u"regions", &items, MAX_LIST_RECORDS))
        return false;
    if (!regions) return true;
    fillList(items, regions, Region::fromDictionary);
    return true;
}

bool ApiClient::enumNodes(Array<Node>* nodes, long long regionId) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params = sessionParams();
    params.set(u"region_id", Any(regionId));
    Array<Any> items;
    if (!callForList(kInstance, u"enum_nodes", params, u"nodes", &items, MAX_LIST_RECORDS)) return false;
    if (!nodes) return true;
    fillList(items, nodes, Node::fromDictionary);
    return true;
}

bool ApiClient::enumForwards(Array<Forward>* forwards, long long deviceId) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params = sessionParams();
    params.set(u"device_id", Any(deviceId));
    Array<Any> items;
    if (!callForList(kInstance, u"enum_forwards", params, u"forwards", &items, MAX_LIST_RECORDS))
        return false;
    if (!forwards) return true;
    fillList(items, forwards, Forward::fromDictionary);
    return true;
}

bool ApiClient::enumDevices(Array<Device>* devices) {
    gt::core::LockGuard guard(&callLock());
    Array<Any> items;
    if (!callForList(kInstance, u"enum_devices", sessionParams(), u"devices", &items, MAX_LIST_RECORDS))
        return false;
    if (!devices) return true;
    fillList(items, devices, Device::fromDictionary);
    return true;
}

bool ApiClient::createDevice(String const& label, long long* deviceId, String* deviceToken) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params = sessionParams();
    params.set(u"label", Any(label));
    Dictionary<Any> result;
    if (!call(kInstance, u"create_device", params, &result, CALL_TIMEOUT_MS)) return false;
    if (deviceId) *deviceId = gt::core::toLong(result.get(u"device_id"));
    if (deviceToken) *deviceToken = gt::core::toString(result.get(u"device_token"));
    return true;
}

bool ApiClient::modifyDevice(long long deviceId, Dictionary<Any> const& fields) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params = sessionParams();
    params.set(u"device_id", Any(deviceId));
    params.set(u"fields", Any(fields));
    return call(kInstance, u"modify_device", params, nullptr, CALL_TIMEOUT_MS);
}

bool ApiClient::removeDevice(long long deviceId) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params = sessionParams();
    params.set(u"device_id", Any(deviceId));
    return call(kInstance, u"remove_device", params, nullptr, CALL_TIMEOUT_MS);
}

bool ApiClient::createForward(long long deviceId, long long nodeId, String const& label,
                              String const& protocol, String const& hostPrefix, String const& hostDomain,
                              String const& hostCustom, String const& clientHost, int clientPort,
                              int bandwidth) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params = sessionParams();
    params.set(u"device_id", Any(deviceId));
    params.set(u"node_id", Any(nodeId));
    params.set(u"label", Any(label));
    params.set(u"protocol", Any(protocol));
    params.set(u"host_prefix", Any(hostPrefix));
    params.set(u"host_domain", Any(hostDomain));
    params.set(u"host_custom", Any(hostCustom));
    params.set(u"client_host", Any(clientHost));
    params.set(u"client_port", Any(clientPort));
    params.set(u"bandwidth", Any(bandwidth));
    return call(kInstance, u"create_forward", params, nullptr, CALL_TIMEOUT_MS);
}

bool ApiClient::modifyForward(long long forwardId, Dictionary<Any> const& fields) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params = sessionParams();
    params.set(u"forward_id", Any(forwardId));
    params.set(u"fields", Any(fields));
    return call(kInstance, u"modify_forward", params, nullptr, CALL_TIMEOUT_MS);
}

bool ApiClient::removeForward(long long forwardId) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params = sessionParams();
    params.set(u"forward_id", Any(forwardId));
    return call(kInstance, u"remove_forward", params, nullptr, CALL_TIMEOUT_MS);
}

bool ApiClient::enumAcls(Array<Acl>* acls) {
    gt::core::LockGuard guard(&callLock());
    Array<Any> items;
    if (!callForList(kInstance, u"enum_acls", sessionParams(), u"acls", &items, MAX_LIST_RECORDS))
        return false;
    if (!acls) return true;
    fillList(items, acls, Acl::fromDictionary);
    return true;
}

bool ApiClient::createAcl(Acl const& acl) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params = sessionParams();
    params.set(u"acl", Any(acl.toDictionary()));
    return call(kInstance, u"create_acl", params, nullptr, CALL_TIMEOUT_MS);
}

bool ApiClient::modifyAcl(long long aclId, Acl const& acl) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params = sessionParams();
    params.set(u"acl_id", Any(aclId));
    params.set(u"acl", Any(acl.toDictionary()));
    return call(kInstance, u"modify_acl", params, nullptr, CALL_TIMEOUT_MS);
}

bool ApiClient::removeAcl(long long aclId) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params = sessionParams();
    params.set(u"acl_id", Any(aclId));
    return call(kInstance, u"remove_acl", params, nullptr, CALL_TIMEOUT_MS);
}

bool ApiClient::enumPrefixes(Array<String>* names) {
    gt::core::LockGuard guard(&callLock());
    Array<Any> items;
    if (!callForList(kProduct, u"enum_prefixes", sessionParams(), u"prefixes", &items, MAX_LIST_RECORDS))
        return false;
    if (!names) return true;
    fillList(items, names,
             [](Dictionary<Any> const& fields) { return gt::core::toString(fields.get(u"name")); });
    return true;
}

bool ApiClient::checkPrefix(String const& prefixName) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params = sessionParams();
    params.set(u"prefix_name", Any(prefixName));
    return call(kProduct, u"check_prefix", params, nullptr, CALL_TIMEOUT_MS);
}

bool ApiClient::createPrefixFree(String const& prefixName) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> params = sessionParams();
    params.set(u"prefix_name", Any(prefixName));
    return call(kProduct, u"create_prefix_free", params, nullptr, CALL_TIMEOUT_MS);
}

bool ApiClient::queryPlan(Plan* plan) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> result;
    if (!call(kProduct, u"query_plan", sessionParams(), &result, CALL_TIMEOUT_MS)) return false;
    if (!plan) return true;
    Any const& found = result.get(u"plan");
    *plan = isObject(found) ? Plan::fromDictionary(asObject(found)) : Plan();
    return true;
}

bool ApiClient::queryQuota(QuotaInfo* quota) {
    gt::core::LockGuard guard(&callLock());
    Dictionary<Any> result;
    if (!call(kProduct, u"query_quota", sessionParams(), &result, CALL_TIMEOUT_MS)) return false;
    Any const& found = result.get(u"quota");
    if (!isObject(found)) {
        failCall(missingText(u"quota", "对象"));
        return false;
    }
    if (quota) {
        Dictionary<Any> const& parts = asObject(found);
        Any const& used = parts.get(u"used");
        Any const& limit = parts.get(u"limit");
        quota->used = isObject(used) ? Quota::fromDictionary(asObject(used)) : Quota();
        quota->limit = isObject(limit) ? Quota::fromDictionary(asObject(limit)) : Quota();
    }
    return true;
}

}  // namespace tunnel
