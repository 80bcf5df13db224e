// Plain HTTP/1.1 over its own sockets: blocks the calling thread while it
// drives a private event loop in 10 ms steps, tries the host's addresses in
// random order and keeps one connection open for the next request to the
// same host while an idle time-out lasts. http only: an https request fails.
#pragma once

#include <functional>
#include <memory>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Timer.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/URL.h"
#include "gt/net/channel/HttpClientChannel.h"
#include "gt/net/socket/Socket.h"
#include "gt/util/IHttpAccess.h"

namespace gt {
namespace util {

class RawHttpClient : public IHttpAccess {
public:
    // The longest one connect attempt may take.
    static constexpr int MAX_CONNECT_MS = 7000;

    // Asked between loop steps when set; true aborts the running request.
    std::function<bool()> abortCheck;

    // idleTimeoutMs <= 0: no connection is ever reused.
    explicit RawHttpClient(int idleTimeoutMs);
    RawHttpClient(RawHttpClient const&) = delete;
    RawHttpClient& operator=(RawHttpClient const&) = delete;
    ~RawHttpClient() override;

    // The host and port come from the request's Host header (port 80 when
    // none is given). timeoutMs bounds the whole call, connect included; 0
    // or less means no limit. The response is written only on success.
    bool request(net::HttpRequest const& request, net::HttpResponse* response, bool https,
                 int timeoutMs) override;
    bool get(net::URL const& url, net::HttpResponse* response, int timeoutMs);
    // A POST with Content-Length and the body (no Content-Type).
    bool post(net::URL const& url, core::Binary const& body, net::HttpResponse* response, int timeoutMs);

    bool isAborted();
    // One turn of the event loop with a 10 ms wait.
    void process();
    // Drops the kept connection at once; from inside a request (the abort
    // check) it closes the connection, which ends the running exchange.
    void disconnect();

    // The port of "host[:port]" text: 80 without one, 0 when it is not a
    // number in 0..65535.
    static int portOf(core::String const& hostPort);
    // Connections opened so far (tests watch reuse with it).
    int connectionCount() const { return m_connections; }

    // One exchange on a connected channel driven by its selector: sends the
    // request, then turns the loop in stepMs steps until the channel hands
    // over a response or closes, or keepWaiting says false. True with the
    // response in *received (untouched otherwise); the caller judges it.
    static bool exchangeOn(net::HttpClientChannel* channel, net::SocketEventSelector* selector,
                           net::HttpRequest const& request, std::function<bool()> const& keepWaiting,
                           int stepMs, net::HttpResponse* received);

private:
    class Deadline;

    static net::HttpRequest _request(core::Char const* method, net::URL const& url);
    bool _run(net::HttpRequest const& request, net::HttpResponse* response, int timeoutMs);
    bool _connect(core::String const& host, int port, Deadline const& deadline, net::Socket* out);
    bool _connectOnce(net::SocketAddress const& address, int timeoutMs, net::Socket* out);
    bool _exchange(net::HttpRequest const& request, net::HttpResponse* response, Deadline const& deadline);
    bool _keptConnectionUsable();
    void _dropConnection();

    bool m_busy;
    bool m_aborted;
    net::SocketEventSelector m_selector;
    std::unique_ptr<net::HttpClientChannel> m_channel;
    int m_idleTimeout;
    core::Timer m_idleTimer;
    core::String m_hostKey;
    int m_connections;
};

}  // namespace util
}  // namespace gt
