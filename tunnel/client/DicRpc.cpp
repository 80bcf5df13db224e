#include "tunnel/client/DicRpc.h"

#include <utility>

#include "gt/core/lang/Exception.h"
#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/Integer.h"
#include "tunnel/client/ProtocolChannel.h"

using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;

namespace tunnel {

DicRpc::DicRpc(ProtocolChannel* channel) : m_channel(channel), m_busy(false), m_deadline(REPLY_TIMEOUT_MS) {
    GT_ASSERT(m_channel);
    onReceive = m_channel->onDictionary;
    m_channel->onDictionary = [this](Dictionary<Binary>& dictionary) { _route(dictionary); };
}

DicRpc::~DicRpc() { m_channel->onDictionary = onReceive; }

void DicRpc::call(String const& method, Dictionary<Binary> const& params, ResultHandler onResult,
                  ErrorHandler onError) {
    if (m_busy) throw gt::core::Exception(u"Rpc busy");
    m_onResult = std::move(onResult);
    m_onError = std::move(onError);
    Dictionary<Binary> request(params);
    request.set(u"@", Binary("call"));
    request.set(u"method", method.toBinary());
    m_busy = true;
    m_method = method;
    m_deadline.start(REPLY_TIMEOUT_MS);
    m_channel->sendDictionary(request);
}

void DicRpc::_route(Dictionary<Binary>& dictionary) {
    if (!m_busy || dictionary.get(u"@").utf8ToString() != String(u"return")) {
        if (onReceive) onReceive(dictionary);
        return;
    }
    m_busy = false;
    // The handlers are moved out first, so that they may start the next call.
    if (Binary const* code = dictionary.find(u"error_code")) {
        Error error(gt::core::Integer::parse(code->utf8ToString()),
                    dictionary.get(u"error_msg").utf8ToString());
        ErrorHandler handler = std::move(m_onError);
        m_onError = nullptr;
        m_onResult = nullptr;
        if (handler) handler(error);
    } else {
        ResultHandler handler = std::move(m_onResult);
        m_onResult = nullptr;
        m_onError = nullptr;
        if (handler) handler(dictionary);
    }
}

}  // namespace tunnel
