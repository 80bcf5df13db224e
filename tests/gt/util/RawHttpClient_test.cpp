#include "gt/util/RawHttpClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "support/HttpPeer.h"
#include "support/Loopback.h"
#include "support/Text.h"
#include "support/Wait.h"

using gt::core::Binary;
using gt::core::String;
using gt::net::HttpRequest;
using gt::net::HttpResponse;
using gt::net::URL;
using gt::test::bytes;
using gt::test::elapsedMs;
using gt::test::HttpPeer;
using gt::test::utf8;
using gt::util::RawHttpClient;

namespace {

class RawHttpClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_peer = new HttpPeer; }
    static void TearDownTestSuite() {
        delete s_peer;
        s_peer = nullptr;
    }
    void SetUp() override { ASSERT_GT(s_peer->port(), 0) << "the Python peer did not start"; }

    static URL url(std::string const& pathAndQuery) {
        return URL(String::fromUtf8(("http://" + s_peer->hostPort() + pathAndQuery).c_str()));
    }

    // GET with a 5 s limit; the body, or "<failed>".
    std::string fetch(RawHttpClient& client, std::string const& pathAndQuery, int timeoutMs = 5000) {
        HttpResponse response;
        if (!client.get(url(pathAndQuery), &response, timeoutMs)) return "<failed>";
        return bytes(response.body);
    }

    static HttpPeer* s_peer;
};

HttpPeer* RawHttpClientTest::s_peer = nullptr;

}  // namespace

TEST_F(RawHttpClientTest, KeepsOneConnectionPerHost) {
    RawHttpClient client(60000);
    std::string first = fetch(client, "/conn");
    std::string second = fetch(client, "/conn");
    ASSERT_EQ(first.substr(first.find(' ')), " seq=1");
    EXPECT_EQ(second, first.substr(0, first.find(' ')) + " seq=2");
    EXPECT_EQ(client.connectionCount(), 1);

    // "Connection: close" in any letter case ends the reuse.
    EXPECT_EQ(fetch(client, "/close?value=CLOSE"), "bye");
    EXPECT_EQ(fetch(client, "/conn").substr(first.find(' ')), " seq=1");
    EXPECT_EQ(client.connectionCount(), 2);

    // disconnect() drops the kept connection.
    client.disconnect();
    EXPECT_EQ(fetch(client, "/conn").substr(first.find(' ')), " seq=1");
    EXPECT_EQ(client.connectionCount(), 3);

    // Another Host value is another connection.
    HttpRequest request;
    request.method = u"GET";
    request.target = u"/conn";
    request.version = u"HTTP/1.1";
    request.headers.set(u"Host", String::fromUtf8(("localhost:" + std::to_string(s_peer->port())).c_str()));
    HttpResponse response;
    ASSERT_TRUE(client.request(request, &response, false, 5000));
    EXPECT_EQ(bytes(response.body).substr(first.find(' ')), " seq=1");
    EXPECT_EQ(client.connectionCount(), 4);
}

TEST_F(RawHttpClientTest, WithoutIdleTimeoutNothingIsReused) {
    RawHttpClient client(-1);
    EXPECT_NE(fetch(client, "/conn"), "<failed>");
    EXPECT_NE(fetch(client, "/conn"), "<failed>");
    EXPECT_EQ(client.connectionCount(), 2);
}

TEST_F(RawHttpClientTest, ServerClosingAKeptConnectionIsNoticed) {
    RawHttpClient client(60000);
    EXPECT_NE(fetch(client, "/closeafter"), "<failed>");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::string next = fetch(client, "/conn");
    EXPECT_EQ(next.substr(next.find(' ')), " seq=1");
    EXPECT_EQ(client.connectionCount(), 2);
}

TEST_F(RawHttpClientTest, RequestBytesAndEmptyPath) {
    RawHttpClient client(60000);
    HttpResponse response;
    ASSERT_TRUE(client.post(url("/echo"), Binary("abc"), &response, 5000));
    EXPECT_EQ(bytes(response.body),
              "POST /echo HTTP/1.1\r\nConnection: Keep-Alive\r\nContent-Length: 3\r\nHost: " +
                  s_peer->hostPort() + "\r\n\r\nabc");
    // No path: the target is "/" (the peer has no route there).
    ASSERT_TRUE(client.get(url(""), &response, 5000));
    EXPECT_EQ(response.statusCode, 404);
    EXPECT_EQ(bytes(response.body), "no route /");
    EXPECT_EQ(client.connectionCount(), 1);
}

TEST_F(RawHttpClientTest, FramingVariantsOverOneConnection) {
    RawHttpClient client(60000);
    EXPECT_EQ(fetch(client, "/chunked?sizes=3,4&ext=1&trailer=1&upper=1"), "abcdefg");
    EXPECT_EQ(fetch(client, "/lower"), "abcde");
    EXPECT_EQ(fetch(client, "/lower?te=chunked"), "abcde");
    EXPECT_EQ(fetch(client, "/big?n=300000").size(), 300000u);
    EXPECT_EQ(fetch(client, "/trickle?n=3&delay=2"), "abc");
    EXPECT_EQ(client.connectionCount(), 1);
    EXPECT_EQ(fetch(client, "/untilclose?n=12"), "abcdefghijkl");
    EXPECT_EQ(fetch(client, "/untilclose?n=5&version=HTTP/1.1"), "abcde");
}

TEST_F(RawHttpClientTest, CutBodiesFailAndLeaveTheResponseAlone) {
    RawHttpClient client(60000);
    for (char const* path : {"/cut?declared=10&sent=4", "/cutchunk"}) {
        HttpResponse response;
        response.statusCode = 999;
        EXPECT_FALSE(client.get(url(path), &response, 5000)) << path;
        EXPECT_EQ(response.statusCode, 999) << path;
        EXPECT_TRUE(response.body.isEmpty()) << path;
    }
    // The client recovers on a fresh connection.
    EXPECT_NE(fetch(client, "/conn"), "<failed>");
}

TEST_F(RawHttpClientTest, TotalTimeoutStopsSilentAndTricklingServers) {
    RawHttpClient client(60000);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fetch(client, "/silent", 300), "<failed>");
    EXPECT_LT(elapsedMs(start), 2000);  // instead of the 60 s idle time-out
    EXPECT_GE(elapsedMs(start), 250);   // the time-out was honoured

    // Each byte would restart an idle timer; the total limit still holds.
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(fetch(client, "/drip?n=100&delay=30", 400), "<failed>");
    EXPECT_LT(elapsedMs(start), 2000);  // instead of the 3 s drip
    EXPECT_NE(fetch(client, "/conn"), "<failed>");
}

TEST_F(RawHttpClientTest, RefusedWithoutNetworkActivity) {
    RawHttpClient client(60000);
    HttpRequest request;
    request.method = u"GET";
    request.target = u"/conn";
    request.version = u"HTTP/1.1";
    HttpResponse response;
    request.headers.set(u"Host", String::fromUtf8(s_peer->hostPort().c_str()));
    EXPECT_FALSE(client.request(request, &response, true, 5000));  // https
    for (char const* host : {"127.0.0.1:70000", "127.0.0.1:-1", "127.0.0.1:x", "", "127.0.0.1:4294967376"}) {
        request.headers.set(u"Host", String::fromUtf8(host));
        EXPECT_FALSE(client.request(request, &response, false, 5000)) << host;
    }
    EXPECT_EQ(client.connectionCount(), 0);
}

TEST(RawHttpClientPort, HostPortText) {
    struct Case {
        char16_t const* text;
        int port;
    } const cases[] = {{u"h", 80},          {u"h:", 80},     {u"h:8080", 8080}, {u"h:0", 0},
                       {u"h:65535", 65535}, {u"h:65536", 0}, {u"h:70000", 0},   {u"h:4294967376", 0},
                       {u"h:-1", 0},        {u"h:8x", 0},    {u"h:x", 0}};
    for (auto const& c : cases)
        EXPECT_EQ(RawHttpClient::portOf(c.text), c.port) << utf8(c.text);
}

TEST_F(RawHttpClientTest, RefusedPortFails) {
    gt::test::Listener closed;
    int port = closed.address.port();
    closed.socket = gt::net::Socket(gt::net::Socket::TYPE_TCP);  // nothing listens there any more
    RawHttpClient client(60000);
    HttpResponse response;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.get(URL(String::fromUtf8(("http://127.0.0.1:" + std::to_string(port) + "/").c_str())),
                            &response, 10000));
    EXPECT_LT(elapsedMs(start), 2500);  // refused at once, not at the time-out
}

TEST_F(RawHttpClientTest, AbortAndBusy) {
    RawHttpClient client(60000);
    int asked = 0;
    client.abortCheck = [&] { return ++asked > 3; };
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fetch(client, "/silent", 5000), "<failed>");
    EXPECT_LT(elapsedMs(start), 2000);  // instead of the 5 s time-out
    // Outside a request a true answer sets the flag; the next request starts
    // with it cleared.
    EXPECT_TRUE(client.isAborted());
    client.abortCheck = nullptr;
    EXPECT_TRUE(client.isAborted());
    EXPECT_NE(fetch(client, "/conn"), "<failed>");
    EXPECT_FALSE(client.isAborted());

    // A request from inside the abort check is refused (the client is busy).
    bool nestedResult = true;
    bool asked2 = false;
    client.abortCheck = [&] {
        if (!asked2) {
            asked2 = true;
            HttpResponse inner;
            nestedResult = client.get(url("/conn"), &inner, 1000);
        }
        return false;
    };
    EXPECT_NE(fetch(client, "/conn"), "<failed>");
    EXPECT_TRUE(asked2);
    EXPECT_FALSE(nestedResult);
}

TEST_F(RawHttpClientTest, DisconnectFromInsideTheAbortCheck) {
    // The check drops the connection of the running exchange and aborts it;
    // the request fails cleanly and the next one connects anew.
    RawHttpClient client(60000);
    EXPECT_NE(fetch(client, "/conn"), "<failed>");
    int asked = 0;
    client.abortCheck = [&] {
        if (++asked == 3) client.disconnect();
        return asked >= 3;
    };
    EXPECT_EQ(fetch(client, "/silent", 5000), "<failed>");
    EXPECT_GE(asked, 3);
    client.abortCheck = nullptr;
    EXPECT_NE(fetch(client, "/conn"), "<failed>");
    EXPECT_EQ(client.connectionCount(), 2);

    // Without aborting, the closed connection still ends the exchange at once.
    asked = 0;
    client.abortCheck = [&] {
        if (++asked == 3) client.disconnect();
        return false;
    };
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fetch(client, "/silent", 5000), "<failed>");
    EXPECT_LT(elapsedMs(start), 2500);  // instead of the 5 s time-out
    client.abortCheck = nullptr;
    EXPECT_NE(fetch(client, "/conn"), "<failed>");
    EXPECT_EQ(client.connectionCount(), 3);
}
