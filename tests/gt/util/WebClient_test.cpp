#include "gt/util/WebClient.h"

#include <gtest/gtest.h>

#include "support/FakeClock.h"
#include "support/FakeHttp.h"
#include "support/Text.h"

using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;
using gt::net::URL;
using gt::test::bytes;
using gt::test::FakeHttp;
using gt::test::utf8;
using gt::util::Cookie;
using gt::util::CookieJar;
using gt::util::HttpContent;
using gt::util::WebClient;

namespace {

class WebClientTest : public ::testing::Test {
protected:
    bool get(char16_t const* url, bool follow = true) {
        return client.request(u"GET", URL(url), Dictionary<String>(), HttpContent(), follow);
    }

    FakeHttp transport;
    WebClient client{&transport};
    gt::test::FakeClock clock{1000};
};

char const kStandardHeaders[] =
    "Accept: */*\r\nAccept-Language: zh-cn\r\nCache-Control: no-cache\r\nConnection: Keep-Alive\r\n";

}  // namespace

TEST_F(WebClientTest, RequestBytesAreExact) {
    struct Case {
        char const* name;
        char16_t const* method;
        char16_t const* url;
        std::vector<std::pair<char16_t const*, char16_t const*>> headers;
        HttpContent content;
        std::string wire;
    } const cases[] = {
        {"no path gives /",
         u"GET",
         u"http://h",
         {},
         HttpContent(),
         std::string("GET / HTTP/1.1\r\n") + kStandardHeaders + "Cookie: \r\nHost: h\r\n\r\n"},
        {"path, query and fragment",
         u"GET",
         u"http://h:81/a/b?x=1#top",
         {},
         HttpContent(),
         std::string("GET /a/b?x=1#top HTTP/1.1\r\n") + kStandardHeaders + "Cookie: \r\nHost: h:81\r\n\r\n"},
        {"caller headers override, in key order",
         u"GET",
         u"http://h/",
         {{u"Accept", u"text/html"}, {u"X-A", u"1"}, {u"Connection", u"close"}},
         HttpContent(),
         "GET / HTTP/1.1\r\nAccept: text/html\r\nAccept-Language: zh-cn\r\nCache-Control: no-cache\r\n"
         "Connection: close\r\nCookie: \r\nHost: h\r\nX-A: 1\r\n\r\n"},
        {"GET ignores content",
         u"GET",
         u"http://h/",
         {},
         HttpContent(u"text/plain", Binary("body")),
         std::string("GET / HTTP/1.1\r\n") + kStandardHeaders + "Cookie: \r\nHost: h\r\n\r\n"},
        {"POST sends type, computed length and body",
         u"POST",
         u"http://h/rpc",
         {{u"Content-Length", u"999"}},
         HttpContent(u"application/json", Binary("{\"a\":1}")),
         std::string("POST /rpc HTTP/1.1\r\n") + kStandardHeaders +
             "Content-Length: 7\r\nContent-Type: application/json\r\nCookie: \r\nHost: h\r\n\r\n{\"a\":1}"},
        {"PUT with empty content",
         u"PUT",
         u"http://h/x",
         {},
         HttpContent(),
         std::string("PUT /x HTTP/1.1\r\n") + kStandardHeaders +
             "Content-Length: 0\r\nContent-Type: \r\nCookie: \r\nHost: h\r\n\r\n"},
        {"lower-case post is not a POST",
         u"post",
         u"http://h/x",
         {},
         HttpContent(u"a/b", Binary("z")),
         std::string("post /x HTTP/1.1\r\n") + kStandardHeaders + "Cookie: \r\nHost: h\r\n\r\n"},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        transport.calls.clear();
        transport.queue(200);
        Dictionary<String> headers;
        for (auto const& h : c.headers)
            headers.set(h.first, h.second);
        EXPECT_TRUE(client.request(c.method, URL(c.url), headers, c.content, true));
        ASSERT_EQ(transport.calls.size(), 1u);
        EXPECT_EQ(transport.calls[0].wire, c.wire);
        EXPECT_FALSE(transport.calls[0].https);
    }
}

TEST_F(WebClientTest, UserAgentRefererAndHttps) {
    client.setUserAgent(u"Agent/1");
    client.setReferer(URL(u"http://r:1/page?q#f"));
    transport.queue(200);
    client.request(u"POST", URL(u"HTTPS://h/"), Dictionary<String>(), HttpContent(), true);
    ASSERT_EQ(transport.calls.size(), 1u);
    EXPECT_TRUE(transport.calls[0].https);
    auto const& h = transport.calls[0].request.headers;
    EXPECT_EQ(utf8(h.get(u"User-Agent")), "Agent/1");
    EXPECT_EQ(utf8(h.get(u"Referer")), "http://r:1/page?q#f");
    EXPECT_EQ(utf8(h.get(u"Origin")), "http://r:1");
    transport.queue(200);
    get(u"http://h/");
    EXPECT_FALSE(transport.calls[1].request.headers.contains(u"Origin"));
}

TEST_F(WebClientTest, StatusDecidesTheResult) {
    transport.queue(404, "missing", "Not Found");
    EXPECT_FALSE(get(u"http://h/x"));
    EXPECT_EQ(client.statusCode(), 404);
    EXPECT_EQ(utf8(client.reason()), "Not Found");
    EXPECT_EQ(bytes(client.body()), "missing");

    transport.queue(204);
    EXPECT_TRUE(get(u"http://h/x"));

    transport.replies.emplace_back();
    transport.replies.back().ok = false;
    transport.replies.back().reason = "refused";
    EXPECT_FALSE(get(u"http://h/x"));
    EXPECT_EQ(client.statusCode(), -1);
    EXPECT_EQ(utf8(client.reason()), "refused");

    WebClient none(nullptr);
    EXPECT_FALSE(none.request(u"GET", URL(u"http://h/"), Dictionary<String>(), HttpContent(), true));
    EXPECT_EQ(none.statusCode(), -1);
}

TEST_F(WebClientTest, RedirectsFollowLocation) {
    transport.queue(302).headers = {{"Location", "/next?a=1"}};
    transport.queue(301).headers = {{"location", "http://other:9/abs"}};
    transport.queue(307).headers = {{"LOCATION", "rel/x"}};
    transport.queue(200, "done");
    Dictionary<String> headers;
    headers.set(u"X-Keep", u"1");
    EXPECT_TRUE(
        client.request(u"POST", URL(u"http://h:81/a/b"), headers, HttpContent(u"t", Binary("pp")), true));
    ASSERT_EQ(transport.calls.size(), 4u);
    std::vector<std::string> targets;
    for (auto const& call : transport.calls) {
        targets.push_back(utf8(call.request.headers.get(u"Host")) + utf8(call.request.target));
        EXPECT_EQ(utf8(call.request.method), "POST");
        EXPECT_EQ(bytes(call.request.body), "pp");
        EXPECT_EQ(utf8(call.request.headers.get(u"X-Keep")), "1");
    }
    EXPECT_EQ(targets,
              (std::vector<std::string>{"h:81/a/b", "h:81/next?a=1", "other:9/abs", "other:9/rel/x"}));
    EXPECT_EQ(bytes(client.body()), "done");

    // Not followed on request: the 3xx is the answer.
    transport.calls.clear();
    transport.queue(302).headers = {{"Location", "/next"}};
    EXPECT_TRUE(get(u"http://h/", false));
    EXPECT_EQ(client.statusCode(), 302);
    EXPECT_EQ(transport.calls.size(), 1u);
}

TEST_F(WebClientTest, RedirectWithoutLocationIsTheAnswer) {
    transport.queue(302, "here").headers = {{"Location", "  "}};
    EXPECT_TRUE(get(u"http://h/a"));
    EXPECT_EQ(transport.calls.size(), 1u);
    EXPECT_EQ(client.statusCode(), 302);
    transport.queue(303, "none");
    EXPECT_TRUE(get(u"http://h/a"));
    EXPECT_EQ(transport.calls.size(), 2u);
    EXPECT_EQ(bytes(client.body()), "none");
}

TEST_F(WebClientTest, TwentyRedirectsAreFollowedNotMore) {
    for (int i = 0; i < 25; ++i)
        transport.queue(302).headers = {{"Location", "/r" + std::to_string(i)}};
    EXPECT_TRUE(get(u"http://h/"));
    EXPECT_EQ(transport.calls.size(), 21u);
    EXPECT_EQ(client.statusCode(), 302);
    EXPECT_EQ(utf8(transport.calls.back().request.target), "/r19");
    // The next request starts a fresh chain.
    transport.replies.clear();
    transport.queue(302).headers = {{"Location", "/again"}};
    transport.queue(200);
    EXPECT_TRUE(get(u"http://h/"));
    EXPECT_EQ(transport.calls.size(), 23u);
}

TEST(WebClientLocation, ResolvesAgainstTheRequest) {
    URL base(u"http://h:81/a/b?q=1#f");
    struct Case {
        char16_t const* location;
        char const* url;
    } const cases[] = {
        {u"/next", "http://h:81/next"},   {u"next", "http://h:81/a/next"},  {u"../up", "http://h:81/a/../up"},
        {u"?z=2", "http://h:81/a/b?z=2"}, {u"#g", "http://h:81/a/b?q=1#g"}, {u"//other/x", "http://other/x"},
        {u"https://s/p", "https://s/p"},
    };
    for (auto const& c : cases)
        EXPECT_EQ(utf8(WebClient::resolveLocation(base, c.location).toString()), c.url) << utf8(c.location);
    EXPECT_EQ(utf8(WebClient::resolveLocation(URL(u"http://h"), u"x").toString()), "http://h/x");
}

TEST_F(WebClientTest, CookiesAreStoredAndSent) {
    transport.queue(200).headers = {
        {"Set-Cookie", "a=1"}, {"Set-Cookie", "b=2; Path=/p; Domain=h"}, {"set-cookie", "c=3; domain=.H"}};
    EXPECT_TRUE(get(u"http://h:8080/dir/x"));
    CookieJar& jar = *client.cookieJar();
    ASSERT_EQ(jar.count(), 3);
    EXPECT_EQ(utf8(jar[0].toString()), "a=1; domain=h:8080; path=/dir/x");
    EXPECT_EQ(utf8(jar[1].toString()), "b=2; domain=h; path=/p");
    EXPECT_EQ(utf8(jar[2].toString()), "c=3; domain=.H; path=/dir/x");

    transport.queue(404).headers = {{"Set-Cookie", "a=9"}};
    EXPECT_FALSE(get(u"http://h:8080/"));
    EXPECT_EQ(utf8(transport.calls[1].request.headers.get(u"Cookie")), "a=1");
    EXPECT_EQ(utf8(jar.value(u"h:8080", u"a")), "9");  // stored whatever the status

    transport.queue(200);
    get(u"http://h/");
    EXPECT_EQ(utf8(transport.calls[2].request.headers.get(u"Cookie")), "b=2; c=3");
}

TEST_F(WebClientTest, CookiesForOtherDomainsAreDropped) {
    transport.queue(200).headers = {{"Set-Cookie", "evil=1; Domain=bank.example"},
                                    {"Set-Cookie", "ok=1; Domain=example"},
                                    {"Set-Cookie", "sub=1; Domain=api.shop.example"}};
    EXPECT_TRUE(get(u"http://shop.example:81/"));
    CookieJar& jar = *client.cookieJar();
    ASSERT_EQ(jar.count(), 1);
    EXPECT_EQ(utf8(jar[0].name), "ok");
}

TEST_F(WebClientTest, ExternalJar) {
    CookieJar shared;
    shared.add(Cookie(u"h", u"/", u"s", u"1"));
    client.setCookieJar(&shared);
    transport.queue(200).headers = {{"Set-Cookie", "t=2"}};
    get(u"http://h/");
    EXPECT_EQ(utf8(transport.calls[0].request.headers.get(u"Cookie")), "s=1");
    EXPECT_EQ(shared.count(), 2);
    client.setCookieJar(nullptr);
    EXPECT_EQ(client.cookieJar()->count(), 0);
}

TEST_F(WebClientTest, TimeBudget) {
    // The first exchange gets the exchange time-out; a redirect gets what is
    // left of the total.
    client.setExchangeTimeout(20000);
    client.setTotalTimeout(45000);
    transport.beforeAnswer = [this] { clock.advance(40000); };
    transport.queue(302).headers = {{"Location", "/next"}};
    transport.queue(200);
    EXPECT_TRUE(get(u"http://h/"));
    ASSERT_EQ(transport.calls.size(), 2u);
    EXPECT_EQ(transport.calls[0].timeoutMs, 20000);
    EXPECT_EQ(transport.calls[1].timeoutMs, 5000);

    // Nothing left for the redirect: it fails without a zero ("no limit")
    // time-out reaching the transport.
    transport.calls.clear();
    transport.beforeAnswer = [this] { clock.advance(45000); };
    transport.queue(302).headers = {{"Location", "/next"}};
    transport.queue(200);
    EXPECT_FALSE(get(u"http://h/"));
    EXPECT_EQ(transport.calls.size(), 1u);
    transport.replies.clear();

    // A zero total time-out never sends.
    transport.calls.clear();
    transport.beforeAnswer = nullptr;
    client.setTotalTimeout(0);
    transport.queue(200);
    EXPECT_FALSE(get(u"http://h/"));
    EXPECT_TRUE(transport.calls.empty());
}
