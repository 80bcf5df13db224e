// The one object through which a program talks to the cloud's JSON-RPC API:
// bound to an HTTP transport and a program root URL, it keeps the session
// of the logged-in account and, per calling thread, the code and text of
// that thread's last failure.
//
// Several threads may share one client: each whole call (request, reply
// check and session update) runs under the client's call lock.
#pragma once

#include <atomic>

#include "gt/core/lang/CriticalSection.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/Dictionary.h"
#include "gt/net/URL.h"
#include "gt/util/IHttpAccess.h"
#include "gt/util/WebClient.h"

namespace tunnel {

// The desktop client's records (tunnel/api/user). Forward is the record of
// a mapping; the engine's forwarder is tunnel::engine::Forward.
class User;
class Region;
class Node;
class Device;
class Forward;
class Acl;
class Plan;
class QuotaInfo;

class ApiClient {
public:
    // Time-outs of the ping and of every other method.
    static constexpr int PING_TIMEOUT_MS = 3000;
    static constexpr int CALL_TIMEOUT_MS = 15000;
    // The error code of every failure that is not an error reply.
    static constexpr int LOCAL_ERROR = -1;
    // The error reply code of a session the cloud no longer knows.
    static constexpr int SESSION_INVALID = 101;
    // Most records a list call accepts; a longer list fails the call. The
    // service follows at most this many forwards too: a damaged or hostile
    // reply must not make either program build millions of records.
    static constexpr int MAX_LIST_RECORDS = 1024;

    // transport is not owned and must outlive the client.
    ApiClient(gt::util::IHttpAccess* transport, gt::net::URL const& root, gt::core::String const& sessionId);
    ApiClient(ApiClient const&) = delete;
    ApiClient& operator=(ApiClient const&) = delete;
    virtual ~ApiClient();

    // One JSON-RPC call of method on root + path (appended as plain text).
    // True for a reply whose "result" is an object (copied into result when
    // given) or null (result emptied). On false, errorCode and errorMessage
    // tell why (never with an empty text); an error reply with code 101 also
    // ends the session.
    bool call(gt::core::String const& path, gt::core::String const& method,
              gt::core::Dictionary<gt::core::Any> const& params, gt::core::Dictionary<gt::core::Any>* result,
              int timeout);

    // Milliseconds one "ping" took, or -1.
    int ping();

    // Why the calling thread's last call of this client failed (0 and an
    // empty text after a success). Each thread has its own, so that a call
    // of another thread (a background refresh, the busy runner's worker)
    // never replaces the error of the call this thread just made. Every
    // failed call of the members below has a text a user can act on.
    int errorCode() const;
    gt::core::String errorMessage() const;
    // The session text: read it only while no other thread may call.
    gt::core::String const& sessionId() const { return m_sessionId; }
    // Whether a session is held; safe to ask from any thread, also while
    // another thread's call (which may end the session) is under way.
    bool hasSession() const { return m_hasSession.load(); }
    gt::net::URL const& root() const { return m_root; }

    // The account calls of the desktop client. They are defined in its
    // library, tunnel_api_user (tunnel/api/user/ApiClientUser.cpp): every
    // program sees one member list, and one that calls them without linking
    // that library fails to link.
    bool enumConfigs(gt::core::Dictionary<gt::core::String>* configs);
    bool login(gt::core::String const& name, gt::core::String const& password);
    void logout();
    bool queryMyUser(User* user);
    bool enumRegions(gt::core::Array<Region>* regions);
    bool enumNodes(gt::core::Array<Node>* nodes, long long regionId);
    bool enumForwards(gt::core::Array<Forward>* forwards, long long deviceId);
    bool enumDevices(gt::core::Array<Device>* devices);
    bool createDevice(gt::core::String const& label, long long* deviceId, gt::core::String* deviceToken);
    bool modifyDevice(long long deviceId, gt::core::Dictionary<gt::core::Any> const& fields);
    bool removeDevice(long long deviceId);
    bool createForward(long long deviceId, long long nodeId, gt::core::String const& label,
                       gt::core::String const& protocol, gt::core::String const& hostPrefix,
                       gt::core::String const& hostDomain, gt::core::String const& hostCustom,
                       gt::core::String const& clientHost, int clientPort, int bandwidth);
    bool modifyForward(long long forwardId, gt::core::Dictionary<gt::core::Any> const& fields);
    bool removeForward(long long forwardId);
    bool enumAcls(gt::core::Array<Acl>* acls);
    bool createAcl(Acl const& acl);
    bool modifyAcl(long long aclId, Acl const& acl);
    bool removeAcl(long long aclId);
    bool enumPrefixes(gt::core::Array<gt::core::String>* names);
    bool checkPrefix(gt::core::String const& prefixName);
    bool createPrefixFree(gt::core::String const& prefixName);
    bool queryPlan(Plan* plan);
    bool queryQuota(QuotaInfo* quota);

protected:
    // For the members of a program's own calls: hold callLock() across the
    // call and whatever the member does with its result (the lock is
    // recursive, so call() may be run inside it).
    gt::core::CriticalSection& callLock() { return m_callLock; }
    void setSessionId(gt::core::String const& sessionId) {
        m_sessionId = sessionId;
        m_hasSession = !sessionId.isEmpty();
    }
    // A params dictionary holding "session_id".
    gt::core::Dictionary<gt::core::Any> sessionParams() const;
    // The list member's shared steps: call, then the result key must hold an
    // array of at most maxItems elements (0: any number), which is moved
    // into items. A reply without that array or with a longer one fails
    // with its reason.
    bool callForList(gt::core::String const& path, gt::core::String const& method,
                     gt::core::Dictionary<gt::core::Any> const& params, gt::core::String const& key,
                     gt::core::Array<gt::core::Any>* items, int maxItems = 0);
    // Fails the calling thread's current call with LOCAL_ERROR and text.
    void failCall(gt::core::String const& text) { _fail(LOCAL_ERROR, text); }
    // The reason of a reply whose result lacks key, or holds it as another
    // kind than kind ("列表" or "对象").
    static gt::core::String missingText(gt::core::String const& key, char const* kind);

private:
    void _fail(int code, gt::core::String const& message);

    gt::util::WebClient m_webClient;
    gt::net::URL m_root;
    // Names this client's entry in each thread's table of last errors; never
    // reused, so a later client at the same address starts without one.
    unsigned long long m_serial;
    gt::core::String m_sessionId;
    std::atomic<bool> m_hasSession;  // mirrors !m_sessionId.isEmpty() for readers on other threads
    mutable gt::core::CriticalSection m_callLock;
};

// The login-name rule: a name that is a canonical decimal number and does
// not begin with "86" gets "86" in front; every other name stays as typed.
gt::core::String normalizeLoginName(gt::core::String const& name);

}  // namespace tunnel
