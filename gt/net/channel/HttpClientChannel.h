// A TCP channel that sends HTTP/1.1 requests and turns the bytes that come
// back into responses (see HttpResponseReader for the framing), on a
// connection that may be kept alive for further requests.
#pragma once

#include <functional>

#include "gt/core/io/StreamBuffer.h"
#include "gt/net/HttpRequest.h"
#include "gt/net/HttpResponse.h"
#include "gt/net/channel/HttpResponseReader.h"
#include "gt/net/channel/TcpSocketChannel.h"

namespace gt {
namespace net {

class HttpClientChannel : public TcpSocketChannel {
public:
    // The most unread response bytes held, and the largest body accepted.
    static constexpr int kDefaultReadLimit = 64 * 1024 * 1024;
    // The capacity above which the buffers give memory back.
    static constexpr int kDefaultThreshold = 10240;

    // Each complete response; the receiver may take its content. The channel
    // must not be destroyed from inside this callback.
    std::function<void(HttpResponse&)> onResponse;
    // After the connection is gone (peer close, error, framing error, idle
    // time-out); the channel may be destroyed from here.
    std::function<void()> onDisconnect;

    HttpClientChannel(Socket* socket, SocketEventSelector* selector, int readLimit = kDefaultReadLimit,
                      int threshold = kDefaultThreshold);
    ~HttpClientChannel() override;

    // Queues the request line, the headers and a non-empty body. The caller
    // supplies every header (Host, Content-Length, ...).
    bool sendRequest(HttpRequest const& request);
    // Queues one chunk of a chunked request body.
    bool sendChunk(core::Binary const& chunk);

    // Nothing of a response is under way.
    bool isIdle() const { return m_reader.isIdle(); }
    // The stream broke the framing rules or a body was cut short.
    bool hasProtocolError() const { return m_reader.hasError(); }
    // What broke the rules, for the log; empty without a protocol error.
    core::String const& protocolErrorText() const { return m_reader.errorText(); }

private:
    void _onRecv(core::Binary& data);
    void _onClosed();
    bool _flush();

    HttpResponseReader m_reader;
    core::StreamBuffer m_writeBuffer;
};

}  // namespace net
}  // namespace gt
