// The bottom of the cloud request stack: a blocking IHttpAccess bound to one
// server address, keeping at most one HTTP/1.1 connection to it alive
// between requests while it stays idle for less than the idle time-out. It
// runs its own event loop on the calling thread; nothing happens between
// calls. Calls may come from different threads one after another (a lock
// above it, SharedHttpClient, makes them take turns): each call takes the
// loop, and the kept connection on it, over to its own thread.
#pragma once

#include <functional>
#include <memory>

#include "gt/core/util/Timer.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/URL.h"
#include "gt/net/channel/HttpClientChannel.h"
#include "gt/net/socket/Socket.h"
#include "gt/net/socket/SocketAddress.h"
#include "gt/util/IHttpAccess.h"

namespace tunnel {

class SaHttpClient : public gt::util::IHttpAccess {
public:
    // A connect never waits longer than this, whatever the request's time-out.
    static constexpr int MAX_CONNECT_MS = 7000;
    static constexpr int POLL_STEP_MS = 10;
    // The largest reply accepted; a bigger one fails the request.
    static constexpr int MAX_REPLY_BYTES = 16 * 1024 * 1024;
    static constexpr int KEEP_BUFFER_BYTES = 10240;

    // Asked during every wait; setting its argument to true gives up.
    std::function<void(bool&)> abortCheck;

    // idleTimeoutMs <= 0: every request opens and closes its own connection.
    // local is the address to connect from (the none-endpoint: any).
    SaHttpClient(gt::net::SocketAddress const& server, int idleTimeoutMs,
                 gt::net::SocketAddress const& local = gt::net::SocketAddress::none());
    SaHttpClient(SaHttpClient const&) = delete;
    SaHttpClient& operator=(SaHttpClient const&) = delete;
    ~SaHttpClient() override;

    // False at once for https (plain HTTP only) and for a request started
    // while another runs on this object. timeoutMs bounds connecting and the
    // exchange together; a time-out of 0 or less fails at once.
    bool request(gt::net::HttpRequest const& request, gt::net::HttpResponse* response, bool https,
                 int timeoutMs) override;
    bool post(gt::net::URL const& url, gt::core::Binary const& body, gt::net::HttpResponse* response,
              int timeoutMs);
    bool get(gt::net::URL const& url, gt::net::HttpResponse* response, int timeoutMs);

    bool isAborted();
    // Drops the kept connection, so the next request connects anew.
    void disconnect();
    // One turn of the private event loop.
    void process();

    gt::net::SocketAddress const& server() const { return m_server; }
    // Connections opened so far (tests count reuse with it).
    int connectionCount() const { return m_connections; }

private:
    bool _run(gt::net::HttpRequest const& request, gt::net::HttpResponse* response, int timeoutMs);
    bool _request(gt::net::HttpRequest const& request, gt::net::HttpResponse* response, int timeoutMs);
    bool _connect(gt::net::SocketAddress const& address, int timeoutMs, gt::net::Socket* socket);
    bool _requestOnChannel(gt::net::HttpRequest const& request, gt::net::HttpResponse* response,
                           gt::core::Timer const& deadline);
    bool _checkAbort();
    void _dropChannel();
    static gt::net::HttpRequest _build(char16_t const* method, gt::net::URL const& url);

    bool m_busy;
    bool m_aborted;
    gt::net::SocketAddress m_server;
    gt::net::SocketAddress m_local;
    gt::net::SocketEventSelector m_selector;
    std::unique_ptr<gt::net::HttpClientChannel> m_channel;
    gt::core::Timer m_idleTimer;
    int m_connections;
};

}  // namespace tunnel
