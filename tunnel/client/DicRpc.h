// Request/reply calls over the dictionary messages of one protocol channel.
// A call sends {params..., "@": "call", "method": name}; its reply is the next
// dictionary whose "@" is "return". One call may be outstanding at a time;
// every other dictionary is passed on to onReceive. Each call has a reply
// deadline; the owner looks at isOverdue() and drops the connection, since a
// late reply could no longer be told from the next call's.
#pragma once

#include <functional>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Dictionary.h"
#include "gt/core/util/Timer.h"
#include "tunnel/client/Error.h"

namespace tunnel {

class ProtocolChannel;

class DicRpc {
public:
    // Time a call waits for its reply.
    enum { REPLY_TIMEOUT_MS = 15000 };
    using ResultHandler = std::function<void(gt::core::Dictionary<gt::core::Binary> const&)>;
    using ErrorHandler = std::function<void(Error const&)>;

    // Takes over the channel's onDictionary: what it pointed at becomes onReceive.
    explicit DicRpc(ProtocolChannel* channel);
    DicRpc(DicRpc const&) = delete;
    DicRpc& operator=(DicRpc const&) = delete;
    // Gives onReceive back to the channel; an outstanding call is dropped silently.
    virtual ~DicRpc();

    // Throws gt::core::Exception("Rpc busy") while a call is outstanding.
    // A failed send is not reported: the call then waits for the connection's end.
    void call(gt::core::String const& method, gt::core::Dictionary<gt::core::Binary> const& params,
              ResultHandler onResult, ErrorHandler onError);
    bool isBusy() const { return m_busy; }
    // A call is outstanding and its reply deadline has passed.
    bool isOverdue() const { return m_busy && m_deadline.isExpired(); }
    // The method of the outstanding call; empty when none is.
    gt::core::String pendingMethod() const { return m_busy ? m_method : gt::core::String(); }

    // Dictionaries that are not replies to the outstanding call.
    std::function<void(gt::core::Dictionary<gt::core::Binary>&)> onReceive;

private:
    void _route(gt::core::Dictionary<gt::core::Binary>& dictionary);

    ProtocolChannel* m_channel;
    ResultHandler m_onResult;
    ErrorHandler m_onError;
    bool m_busy;
    gt::core::String m_method;
    gt::core::Timer m_deadline;
};

}  // namespace tunnel
