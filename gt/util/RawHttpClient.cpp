#include "gt/util/RawHttpClient.h"

#include <climits>

#include "gt/core/lang/Integer.h"
#include "gt/core/lang/Random.h"
#include "gt/core/util/Array.h"
#include "gt/net/channel/TcpSocketConnector.h"
#include "gt/net/socket/IpAddress.h"

namespace gt {
namespace util {

using core::String;
using net::HttpClientChannel;
using net::HttpRequest;
using net::HttpResponse;
using net::Socket;

namespace {

constexpr int kStepMs = 10;

// Marks the client busy for one call.
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

private:
    bool& m_busy;
    bool& m_aborted;
};

}  // namespace

// The time budget of one call; unlimited for a time-out of 0 or less.
class RawHttpClient::Deadline {
public:
    explicit Deadline(int ms) : m_limited(ms > 0), m_timer(ms) {}
    bool isExpired() const { return m_limited && m_timer.isExpired(); }
    // Milliseconds left; INT_MAX when unlimited.
    int remaining() const { return m_limited ? m_timer.remaining() : INT_MAX; }
    bool isLimited() const { return m_limited; }

private:
    bool m_limited;
    core::Timer m_timer;
};

RawHttpClient::RawHttpClient(int idleTimeoutMs)
    : m_busy(false),
      m_aborted(false),
      m_selector(0),
      m_idleTimeout(idleTimeoutMs),
      m_idleTimer(idleTimeoutMs),
      m_connections(0) {}

RawHttpClient::~RawHttpClient() { _dropConnection(); }

bool RawHttpClient::isAborted() {
    if (!m_aborted && abortCheck && abortCheck()) m_aborted = true;
    return m_aborted;
}

void RawHttpClient::process() { m_selector.poll(kStepMs); }

void RawHttpClient::disconnect() {
    m_idleTimer.advance(m_idleTimer.interval());
    if (m_channel) m_channel->close();
    // Called from inside a running request (the abort check), the closed
    // channel ends that exchange and the request itself lets it go.
    if (!m_busy) _dropConnection();
}

void RawHttpClient::_dropConnection() { m_channel.reset(); }

int RawHttpClient::portOf(String const& hostPort) {
    int colon = hostPort.indexOf(u':');
    if (colon < 0 || colon == hostPort.length() - 1) return 80;
    long long port = 0;
    int digits = 0;
    for (int i = colon + 1; i < hostPort.length(); ++i) {
        core::Char c = hostPort[i];
        if (c < '0' || c > '9') return 0;
        port = port * 10 + (c - '0');
        if (port > 65535) return 0;
        ++digits;
    }
    return digits > 0 ? static_cast<int>(port) : 0;
}

bool RawHttpClient::request(HttpRequest const& request, HttpResponse* response, bool https, int timeoutMs) {
    if (https || m_busy) return false;
    BusyGuard guard(m_busy, m_aborted);
    if (!request.target.isEmpty()) return _run(request, response, timeoutMs);
    HttpRequest rooted(request);
    rooted.target = u"/";
    return _run(rooted, response, timeoutMs);
}

// A kept-alive request line and headers for the URL's path ("/" when it has none).
HttpRequest RawHttpClient::_request(core::Char const* method, net::URL const& url) {
    HttpRequest request;
    request.method = method;
    request.target = url.toString(false, false, true, true, true);
    if (request.target.isEmpty()) request.target = u"/";
    request.version = u"HTTP/1.1";
    request.headers.set(u"Host", url.host());
    request.headers.set(u"Connection", u"Keep-Alive");
    return request;
}

bool RawHttpClient::get(net::URL const& url, HttpResponse* response, int timeoutMs) {
    if (m_busy) return false;
    BusyGuard guard(m_busy, m_aborted);
    HttpRequest request = _request(u"GET", url);
    return _run(request, response, timeoutMs);
}

bool RawHttpClient::post(net::URL const& url, core::Binary const& body, HttpResponse* response,
                         int timeoutMs) {
    if (m_busy) return false;
    BusyGuard guard(m_busy, m_aborted);
    HttpRequest request = _request(u"POST", url);
    request.headers.set(u"Content-Length", core::Integer(body.length()).toString());
    request.body = body;
    return _run(request, response, timeoutMs);
}

bool RawHttpClient::_keptConnectionUsable() {
    if (!m_channel) return false;
    // Let a close (or stray bytes) that arrived while idle show first.
    m_selector.poll(0);
    return m_channel->isValid() && m_channel->isIdle();
}

bool RawHttpClient::_run(HttpRequest const& request, HttpResponse* response, int timeoutMs) {
    if (isAborted()) return false;
    Deadline deadline(timeoutMs);

    String const hostKey = request.headers.get(u"Host");
    int colon = hostKey.indexOf(u':');
    String const host = colon < 0 ? hostKey : hostKey.left(colon);
    int const port = portOf(hostKey);

    bool reuse = !m_idleTimer.isExpired() && hostKey == m_hostKey && _keptConnectionUsable();
    if (!reuse) {
        _dropConnection();
        if (port <= 0 || host.isEmpty()) return false;
        Socket socket(0);
        if (!_connect(host, port, deadline, &socket)) return false;
        m_channel =
            std::make_unique<HttpClientChannel>(&socket, &m_selector, HttpClientChannel::DEFAULT_READ_LIMIT,
                                                HttpClientChannel::DEFAULT_THRESHOLD);
        ++m_connections;
    }

    bool ok = _exchange(request, response, deadline);
    if (ok) {
        m_idleTimer.start(m_idleTimeout);
        m_hostKey = hostKey;
        bool keep = m_channel->isValid() && m_channel->isIdle() && !m_idleTimer.isExpired();
        if (keep && response) keep = response->header(u"Connection").toLower().trim() != u"close";
        if (!keep) _dropConnection();
    } else {
        _dropConnection();
    }
    return ok;
}

bool RawHttpClient::_connect(String const& host, int port, Deadline const& deadline, Socket* out) {
    core::Array<net::IpAddress> candidates;
    if (net::IpAddress::isDottedQuad(host)) {
        candidates.add(net::IpAddress(host));
    } else {
        candidates = net::IpAddress::resolve(host);
    }
    core::Array<net::IpAddress> order;
    while (candidates.count() > 0) {
        core::Random random;
        int pick = random.nextInt(candidates.count());
        order.add(candidates[pick]);
        candidates.removeAt(pick);
    }
    for (net::IpAddress const& address : order) {
        if (deadline.isExpired() || isAborted()) return false;
        int wait = deadline.remaining();
        if (wait > MAX_CONNECT_MS) wait = MAX_CONNECT_MS;
        if (_connectOnce(net::SocketAddress(address, static_cast<unsigned short>(port)), wait, out))
            return true;
    }
    return false;
}

bool RawHttpClient::_connectOnce(net::SocketAddress const& address, int timeoutMs, Socket* out) {
    if (!out || out->isValid()) return false;
    net::TcpSocketConnector connector(&m_selector);
    connector.connect(
        address,
        [out](Socket* socket) {
            if (socket) out->swap(*socket);
        },
        timeoutMs);
    while (connector.isConnecting() && !isAborted())
        m_selector.poll(kStepMs);
    return out->isValid();
}

bool RawHttpClient::exchangeOn(HttpClientChannel* channel, net::SocketEventSelector* selector,
                               HttpRequest const& request, std::function<bool()> const& keepWaiting,
                               int stepMs, HttpResponse* received) {
    if (!channel->sendRequest(request)) return false;

    bool done = false;
    bool success = false;
    channel->onResponse = [&](HttpResponse& response) {
        if (done) return;
        done = true;
        received->swap(response);
        success = true;
    };
    channel->onDisconnect = [&] { done = true; };

    while (!done && keepWaiting())
        selector->poll(stepMs);
    selector->poll(0);

    channel->onResponse = nullptr;
    channel->onDisconnect = nullptr;
    return success;
}

bool RawHttpClient::_exchange(HttpRequest const& request, HttpResponse* response, Deadline const& deadline) {
    HttpClientChannel* channel = m_channel.get();
    // The channel closes itself once the time is up, even while bytes trickle.
    channel->setIdleTimeout(deadline.isLimited() ? deadline.remaining() : 0);
    if (deadline.isExpired()) return false;

    HttpResponse received;
    if (!exchangeOn(
            channel, &m_selector, request, [&] { return !isAborted() && !deadline.isExpired(); }, kStepMs,
            &received)) {
        return false;
    }
    String const* length = received.findHeader(u"Content-Length");
    if (length && core::Integer::parse(*length) != received.body.length()) return false;
    if (response) response->swap(received);
    return true;
}

}  // namespace util
}  // namespace gt
