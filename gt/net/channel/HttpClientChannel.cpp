#include "gt/net/channel/HttpClientChannel.h"

#include "gt/core/lang/Fatal.h"
#include "gt/net/channel/HttpCapsulator.h"

namespace gt {
namespace net {

namespace {
// Read credit granted up front and given back as bytes arrive.
constexpr int kReadCredit = 1048576;
}  // namespace

HttpClientChannel::HttpClientChannel(Socket* socket, SocketEventSelector* selector, int readLimit,
                                     int threshold)
    : TcpSocketChannel(socket, selector),
      m_reader(readLimit, threshold),
      m_writeBuffer(2147483647, threshold) {
    // The owner may replace the callbacks, or destroy the channel from
    // onDisconnect, while they run.
    m_reader.onResponse = [this](HttpResponse& response) { m_liveness.call(onResponse, response); };
    recv(kReadCredit);
    TcpSocketChannel::onRecv = [this](core::Binary& data) { _onRecv(data); };
    TcpSocketChannel::onClosed = [this] { _onClosed(); };
}

HttpClientChannel::~HttpClientChannel() = default;

bool HttpClientChannel::_flush() {
    core::Binary bytes;
    bool read = m_writeBuffer.read(&bytes, m_writeBuffer.available());
    GT_ASSERT(read);
    GT_ASSERT(m_writeBuffer.isEmpty());
    return send(bytes);
}

bool HttpClientChannel::sendRequest(HttpRequest const& request) {
    if (!isValid()) return false;
    HttpCapsulator capsulator(&m_writeBuffer);
    bool written = capsulator.writeRequestLine(request.method, request.target, request.version) &&
                   capsulator.writeHeaders(request.headers) &&
                   (request.body.isEmpty() || capsulator.writeBody(request.body));
    if (!written) {
        m_writeBuffer.clear();
        return false;
    }
    return _flush();
}

bool HttpClientChannel::sendChunk(core::Binary const& chunk) {
    if (!isValid()) return false;
    HttpCapsulator capsulator(&m_writeBuffer);
    if (!capsulator.writeChunk(chunk)) {
        m_writeBuffer.clear();
        return false;
    }
    return _flush();
}

void HttpClientChannel::_onRecv(core::Binary& data) {
    recv(data.length());
    if (!m_reader.feed(data)) close();
}

void HttpClientChannel::_onClosed() {
    m_reader.finish();
    m_liveness.call(onDisconnect);
}

}  // namespace net
}  // namespace gt
