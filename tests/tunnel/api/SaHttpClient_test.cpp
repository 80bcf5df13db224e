// The per-server client against small loopback servers that misbehave in
// ways the cloud double does not: a reply that trickles in, one too big.
#include "tunnel/api/SaHttpClient.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "gt/core/lang/Integer.h"
#include "support/Text.h"
#include "tunnel/api/ApiClient.h"
#include "tunnel/api/EncryptedHttpClient.h"

using gt::net::HttpRequest;
using gt::net::HttpResponse;

namespace {

// Accepts one connection, reads the request head, writes the head it was
// given and then body bytes at the given pace until told to stop.
class SlowServer {
public:
    SlowServer(std::string head, int bytesPerStep, int stepMs, long long total)
        : m_head(std::move(head)), m_bytesPerStep(bytesPerStep), m_stepMs(stepMs), m_total(total) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(m_listener, 4);
        socklen_t len = sizeof addr;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { _serve(); });
    }
    ~SlowServer() {
        m_stop = true;
        m_thread.join();
        ::close(m_listener);
    }
    unsigned short port() const { return m_port; }

private:
    void _serve() {
        pollfd p{m_listener, POLLIN, 0};
        while (!m_stop && ::poll(&p, 1, 20) == 0) {
        }
        if (m_stop) return;
        int conn = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (conn < 0) return;
        std::string request;
        char buffer[4096];
        while (!m_stop && request.find("\r\n\r\n") == std::string::npos) {
            pollfd c{conn, POLLIN, 0};
            if (::poll(&c, 1, 20) <= 0) continue;
            ssize_t n = ::recv(conn, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, static_cast<size_t>(n));
        }
        ::send(conn, m_head.data(), m_head.size(), MSG_NOSIGNAL);
        std::string chunk(static_cast<size_t>(m_bytesPerStep), 'x');
        long long sent = 0;
        while (!m_stop && sent < m_total) {
            if (::send(conn, chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0) break;
            sent += m_bytesPerStep;
            if (m_stepMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(m_stepMs));
        }
        ::close(conn);
    }

    std::string m_head;
    int m_bytesPerStep;
    int m_stepMs;
    long long m_total;
    int m_listener = -1;
    unsigned short m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

HttpRequest request(unsigned short port) {
    HttpRequest r;
    r.method = u"GET";
    r.target = u"/";
    r.version = u"HTTP/1.1";
    r.headers.set(u"Host", gt::test::str("127.0.0.1:" + std::to_string(port)));
    return r;
}

TEST(SaHttpClient, TricklingReplyEndsAtTheRequestsDeadline) {
    // One byte every 20 ms keeps the connection's idle timer fresh; only
    // the request's own deadline ends the wait (the whole body would take
    // more than a minute).
    SlowServer server("HTTP/1.1 200 OK\r\nContent-Length: 4000\r\n\r\n", 1, 20, 4000);
    tunnel::SaHttpClient client(gt::net::SocketAddress(gt::net::IpAddress(u"127.0.0.1"), server.port()),
                                120000);
    HttpResponse response;
    EXPECT_FALSE(client.request(request(server.port()), &response, false, 500));
    EXPECT_EQ(response.statusCode, -1);
}

TEST(SaHttpClient, OversizedReplyIsRefused) {
    long long const declared = tunnel::SaHttpClient::MAX_REPLY_BYTES + 1LL;
    SlowServer server("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(declared) + "\r\n\r\n", 65536, 0,
                      declared);
    tunnel::SaHttpClient client(gt::net::SocketAddress(gt::net::IpAddress(u"127.0.0.1"), server.port()),
                                120000);
    HttpResponse response;
    EXPECT_FALSE(client.request(request(server.port()), &response, false, 5000));
}

// Past the cap the user is told that the reply was too large, through every
// layer above, not that the network cannot be reached.
TEST(SaHttpClient, AReplyPastTheCapSaysSoUpToTheCaller) {
    struct Case {
        char const* name;
        std::string head;
        long long total;
    } const cases[] = {
        {"declared too large",
         "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(tunnel::SaHttpClient::MAX_REPLY_BYTES + 1LL) +
             "\r\n\r\n",
         tunnel::SaHttpClient::MAX_REPLY_BYTES + 1LL},
        {"read to the close", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n",
         tunnel::SaHttpClient::MAX_REPLY_BYTES + 65536LL},
    };
    char const* const reason = "服务器的响应超过了 16 MiB 的上限, 未能读取, 请稍后重试";
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        {
            SlowServer server(c.head, 65536, 0, c.total);
            tunnel::SaHttpClient client(
                gt::net::SocketAddress(gt::net::IpAddress(u"127.0.0.1"), server.port()), 120000);
            HttpResponse response;
            EXPECT_FALSE(client.request(request(server.port()), &response, false, 20000));
            EXPECT_EQ(response.statusCode, -1);
            EXPECT_EQ(gt::test::utf8(response.reason), reason);
        }
        SlowServer server(c.head, 65536, 0, c.total);
        tunnel::SaHttpClient direct(gt::net::SocketAddress(gt::net::IpAddress(u"127.0.0.1"), server.port()),
                                    120000);
        tunnel::EncryptedHttpClient encrypted(&direct, u"tea(qvdemo)");
        tunnel::ApiClient api(
            &encrypted,
            gt::net::URL(gt::test::str("http://127.0.0.1:" + std::to_string(server.port()) + "/user")),
            u"sid");
        EXPECT_FALSE(
            api.call(u"/instance", u"enum_devices", gt::core::Dictionary<gt::core::Any>(), nullptr, 20000));
        EXPECT_EQ(api.errorCode(), tunnel::ApiClient::LOCAL_ERROR);
        EXPECT_EQ(gt::test::utf8(api.errorMessage()), std::string("HTTP: ") + reason);
    }
}

TEST(SaHttpClient, TimeOutOfZeroFailsAtOnce) {
    SlowServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n", 2, 0, 2);
    tunnel::SaHttpClient client(gt::net::SocketAddress(gt::net::IpAddress(u"127.0.0.1"), server.port()),
                                120000);
    HttpResponse response;
    EXPECT_FALSE(client.request(request(server.port()), &response, false, 0));
    EXPECT_EQ(client.connectionCount(), 0);
    EXPECT_TRUE(client.request(request(server.port()), &response, false, 3000));
    EXPECT_EQ(gt::test::bytes(response.body), "xx");
}

}  // namespace

TEST(SaHttpClient, RepliesWithADoubtfulEndAreRefused) {
    struct Case {
        char const* name;
        char const* reply;  // written whole, then the server closes
        bool accepted;
    };
    Case const cases[] = {
        {"plain length", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nxx", true},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nxx\r\n0\r\n\r\n", true},
        // Which of the two ends the body is in doubt, even where they agree.
        {"length and coding",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nxx\r\n0\r\n\r\n",
         false},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        SlowServer server(c.reply, 1, 0, 0);
        tunnel::SaHttpClient client(gt::net::SocketAddress(gt::net::IpAddress(u"127.0.0.1"), server.port()),
                                    120000);
        HttpResponse response;
        EXPECT_EQ(client.request(request(server.port()), &response, false, 3000), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(gt::test::bytes(response.body), "xx");
        } else {
            EXPECT_EQ(response.statusCode, -1);  // left as it was
        }
    }
}
