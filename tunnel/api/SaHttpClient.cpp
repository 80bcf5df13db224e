#include "tunnel/api/SaHttpClient.h"

#include "gt/core/lang/Integer.h"
#include "gt/net/channel/TcpSocketConnector.h"
#include "gt/util/RawHttpClient.h"

using gt::core::String;
using gt::net::HttpClientChannel;
using gt::net::HttpRequest;
using gt::net::HttpResponse;
using gt::net::Socket;

namespace tunnel {

namespace {

// Marks the client busy for one request.
class BusyGuard {
public:
    BusyGuard(bool& busy, bool& aborted) : m_busy(busy), m_aborted(aborted) {
        m_busy = true;
        m_aborted = false;
    }
    ~BusyGuard() {
        m_aborted = false;
        m_busy = false;
    }
    BusyGuard(BusyGuard const&) = delete;
    BusyGuard& operator=(BusyGuard const&) = delete;

private:
    bool& m_busy;
    bool& m_aborted;
};

}  // namespace

SaHttpClient::SaHttpClient(gt::net::SocketAddress const& server, int idleTimeoutMs,
                           gt::net::SocketAddress const& local)
    : m_busy(false),
      m_aborted(false),
      m_server(server),
      m_local(local),
      m_selector(0),
      m_idleTimer(idleTimeoutMs),
      m_connections(0) {}

SaHttpClient::~SaHttpClient() {
    // The last request may have run on another thread; whoever destroys the
    // client is the only one using it now.
    m_selector.moveToCurrentThread();
    _dropChannel();
}

void SaHttpClient::_dropChannel() { m_channel.reset(); }

bool SaHttpClient::_checkAbort() {
    if (!abortCheck) return false;
    bool abort = false;
    abortCheck(abort);
    if (abort) m_aborted = true;
    return abort;
}

bool SaHttpClient::isAborted() { return m_aborted || _checkAbort(); }

void SaHttpClient::disconnect() {
    if (!m_busy) m_selector.moveToCurrentThread();
    m_idleTimer.advance(m_idleTimer.interval());
    if (m_channel) m_channel->close();
    // From inside a running request (the abort check) the closed channel ends
    // that exchange, and the request lets it go.
    if (!m_busy) _dropChannel();
}

void SaHttpClient::process() { m_selector.poll(POLL_STEP_MS); }

bool SaHttpClient::request(HttpRequest const& request, HttpResponse* response, bool https, int timeoutMs) {
    if (https) return false;
    return _run(request, response, timeoutMs);
}

HttpRequest SaHttpClient::_build(char16_t const* method, gt::net::URL const& url) {
    HttpRequest request;
    request.method = method;
    request.target = url.toString(false, false, true, true, true);
    if (request.target.isEmpty()) request.target = u"/";
    request.version = u"HTTP/1.1";
    request.headers.set(u"Host", url.host());
    request.headers.set(u"Connection", u"Keep-Alive");
    return request;
}

bool SaHttpClient::post(gt::net::URL const& url, gt::core::Binary const& body, HttpResponse* response,
                        int timeoutMs) {
    HttpRequest request = _build(u"POST", url);
    request.headers.set(u"Content-Length", gt::core::Integer(body.length()).toString());
    request.body = body;
    return _run(request, response, timeoutMs);
}

bool SaHttpClient::get(gt::net::URL const& url, HttpResponse* response, int timeoutMs) {
    return _run(_build(u"GET", url), response, timeoutMs);
}

bool SaHttpClient::_run(HttpRequest const& request, HttpResponse* response, int timeoutMs) {
    if (m_busy) return false;
    BusyGuard guard(m_busy, m_aborted);
    m_selector.moveToCurrentThread();
    return _request(request, response, timeoutMs);
}

bool SaHttpClient::_request(HttpRequest const& request, HttpResponse* response, int timeoutMs) {
    if (isAborted() || timeoutMs <= 0) return false;
    gt::core::Timer deadline(timeoutMs);

    if (m_channel) {
        // A close that arrived while the connection sat idle shows now.
        m_selector.poll(0);
        if (m_idleTimer.isExpired() || !m_channel->isValid() || !m_channel->isIdle()) _dropChannel();
    }
    if (!m_channel) {
        Socket socket(0);
        if (!_connect(m_server, deadline.remaining(), &socket)) return false;
        // Connecting may have used the whole time: then there is none left
        // for the exchange, and a channel time-out of 0 would mean no limit.
        if (deadline.isExpired()) return false;
        m_channel =
            std::make_unique<HttpClientChannel>(&socket, &m_selector, MAX_REPLY_BYTES, KEEP_BUFFER_BYTES);
        ++m_connections;
    }

    bool const ok = _requestOnChannel(request, response, deadline);
    if (ok) {
        m_idleTimer.reset();
        bool keep = m_channel->isValid() && m_channel->isIdle() && !m_idleTimer.isExpired();
        if (keep && response) keep = response->header(u"Connection").toLower() != u"close";
        if (!keep) _dropChannel();
    } else {
        _dropChannel();
    }
    return ok;
}

bool SaHttpClient::_connect(gt::net::SocketAddress const& address, int timeoutMs, Socket* socket) {
    if (!socket || socket->isValid()) return false;
    int const wait = timeoutMs < MAX_CONNECT_MS ? timeoutMs : MAX_CONNECT_MS;
    if (wait <= 0) return false;
    gt::net::TcpSocketConnector connector(&m_selector);
    connector.connect(
        address, m_local,
        [socket](Socket* connected) {
            if (connected) socket->swap(*connected);
        },
        wait);
    gt::core::Timer limit(wait);
    while (connector.isConnecting() && !m_aborted) {
        if (_checkAbort()) break;
        m_selector.poll(POLL_STEP_MS);
        // The connector's own time-out runs on the loop's tick; this one holds
        // even if that tick came late.
        if (limit.isExpired() && connector.isConnecting()) connector.cancel();
    }
    return socket->isValid();
}

bool SaHttpClient::_requestOnChannel(HttpRequest const& request, HttpResponse* response,
                                     gt::core::Timer const& deadline) {
    HttpClientChannel* channel = m_channel.get();
    // The channel closes itself once the time is up, even while bytes trickle in.
    channel->setIdleTimeout(deadline.remaining());
    if (deadline.isExpired()) return false;

    // Bounded by the request's own deadline too: the channel's idle timer
    // restarts with every byte, so a server that trickles would hold us.
    HttpResponse received;
    if (!gt::util::RawHttpClient::exchangeOn(
            channel, &m_selector, request,
            [&] { return !m_aborted && !deadline.isExpired() && !_checkAbort(); }, POLL_STEP_MS, &received)) {
        // A reply past the cap is no network trouble: the user is told what
        // the server sent rather than "cannot reach the network".
        if (response && channel->hasProtocolError() && channel->protocolErrorText().endsWith(u"read limit")) {
            response->reset();
            response->reason = String::fromUtf8("服务器的响应超过了 ") +
                               gt::core::Integer(MAX_REPLY_BYTES / (1024 * 1024)).toString() +
                               String::fromUtf8(" MiB 的上限, 未能读取, 请稍后重试");
        }
        return false;
    }
    String const* length = received.findHeader(u"Content-Length");
    if (length && gt::core::Integer::parse(*length) != received.body.length()) return false;
    if (response) response->swap(received);
    return true;
}

}  // namespace tunnel
