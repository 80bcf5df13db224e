#include "tunnel/api/EncryptedHttpClient.h"

#include <gtest/gtest.h>

#include <ctime>
#include <set>

#include "support/FakeHttp.h"
#include "support/Text.h"
#include "tunnel/encrypt/Encryptor.h"

using gt::core::Binary;
using gt::core::String;
using gt::net::HttpRequest;
using gt::net::HttpResponse;
using gt::test::bin;
using gt::test::FakeHttp;
using gt::test::utf8;
using tunnel::EncryptedHttpClient;
using tunnel::Encryptor;

namespace {

char16_t const kSpec[] = u"tea(k1);tea(k2)";

HttpRequest plainRequest(std::string const& body) {
    HttpRequest request;
    request.method = u"POST";
    request.target = u"/user/util";
    request.version = u"HTTP/1.1";
    request.headers.set(u"Content-Type", u"application/json");
    request.headers.set(u"Content-Length", gt::core::String(u"999"));
    request.body = bin(body);
    return request;
}

long long now() { return static_cast<long long>(std::time(nullptr)); }

// A server that decrypts what it gets with the request's own nonce and
// timestamp and answers with the body encrypted under its own timestamp.
struct EncryptingServer {
    Encryptor cipher{kSpec};
    std::vector<std::string> plainBodies;
    std::string answer = "{\"ok\":1}";
    std::string replyEncoding = "encrypt";
    std::function<String(String const&)> replyNonce = [](String const& nonce) { return nonce; };

    FakeHttp::Answer handler() {
        return [this](HttpRequest const& request, HttpResponse& reply) {
            String nonce = request.headers.get(u"X-Ca-Nonce");
            String timestamp = request.headers.get(u"X-Ca-Timestamp");
            plainBodies.push_back(gt::test::bytes(cipher.decrypt(request.body, nonce + timestamp)));
            String const replyTime(u"1234567890");
            reply.version = u"HTTP/1.1";
            reply.statusCode = 200;
            reply.headers.set(u"Content-Encoding", gt::test::str(replyEncoding));
            reply.headers.set(u"X-Ca-Nonce", replyNonce(nonce));
            reply.headers.set(u"X-Ca-Timestamp", replyTime);
            reply.body = cipher.encrypt(bin(answer), nonce + replyTime);
            reply.headers.set(u"Content-Length", gt::core::String(u"77"));
            return true;
        };
    }
};

TEST(EncryptedHttpClient, EncryptsTheBodyAndSetsTheFourHeaders) {
    FakeHttp http;
    EncryptingServer server;
    http.answer = server.handler();
    EncryptedHttpClient client(&http, kSpec);
    HttpResponse response;
    ASSERT_TRUE(client.request(plainRequest("{\"a\":1}"), &response, false, 1000));

    HttpRequest sent = http.last();
    ASSERT_EQ(server.plainBodies.size(), 1u);
    EXPECT_EQ(server.plainBodies[0], "{\"a\":1}");
    EXPECT_NE(gt::test::bytes(sent.body), "{\"a\":1}");
    EXPECT_EQ(utf8(sent.headers.get(u"Content-Length")), std::to_string(sent.body.length()));
    EXPECT_EQ(utf8(sent.headers.get(u"Content-Encoding")), "encrypt");
    EXPECT_EQ(utf8(sent.headers.get(u"Content-Type")), "application/json");
    long long stamp = sent.headers.get(u"X-Ca-Timestamp").toInt64();
    EXPECT_LE(std::llabs(stamp - now()), 5);

    EXPECT_EQ(gt::test::bytes(response.body), "{\"ok\":1}");
    EXPECT_EQ(utf8(response.headers.get(u"Content-Length")), "8");
}

TEST(EncryptedHttpClient, NoncesAreFreshSixteenLowerHexDigits) {
    FakeHttp http;
    EncryptingServer server;
    http.answer = server.handler();
    EncryptedHttpClient client(&http, kSpec);
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(client.request(plainRequest("x"), nullptr, false, 1000));
        std::string nonce = utf8(http.last().headers.get(u"X-Ca-Nonce"));
        EXPECT_EQ(nonce.size(), 16u);
        EXPECT_EQ(nonce.find_first_not_of("0123456789abcdef"), std::string::npos) << nonce;
        seen.insert(nonce);
    }
    EXPECT_EQ(seen.size(), 20u);
}

TEST(EncryptedHttpClient, ReplyMarkingDecidesWhatIsDecrypted) {
    struct Case {
        char const* encoding;
        bool decrypted;
    };
    Case const cases[] = {
        {"encrypt", true}, {"ENCRYPT", true}, {"Encrypt", true}, {"gzip", false}, {"", false}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.encoding);
        FakeHttp http;
        EncryptingServer server;
        server.replyEncoding = c.encoding;
        http.answer = server.handler();
        EncryptedHttpClient client(&http, kSpec);
        HttpResponse response;
        ASSERT_TRUE(client.request(plainRequest("x"), &response, false, 1000));
        EXPECT_EQ(gt::test::bytes(response.body) == "{\"ok\":1}", c.decrypted);
        EXPECT_EQ(utf8(response.headers.get(u"Content-Length")) == "8", c.decrypted);
    }
}

TEST(EncryptedHttpClient, ReplyEchoingAnotherNonceFails) {
    FakeHttp http;
    EncryptingServer server;
    server.replyNonce = [](String const&) { return String(u"0000000000000000"); };
    http.answer = server.handler();
    EncryptedHttpClient client(&http, kSpec);
    HttpResponse response;
    response.statusCode = 42;
    EXPECT_FALSE(client.request(plainRequest("x"), &response, false, 1000));
    EXPECT_EQ(response.statusCode, 42);
    // Not the reply's "OK": the user is told what went wrong.
    EXPECT_EQ(utf8(response.reason), "服务器的响应与本次请求不符 (X-Ca-Nonce 不一致), 请稍后重试");
}

TEST(EncryptedHttpClient, EmptySpecSendsTheRequestUnchanged) {
    FakeHttp http;
    http.answer = [](HttpRequest const&, HttpResponse& reply) {
        reply.statusCode = 200;
        reply.body = bin("plain");
        return true;
    };
    EncryptedHttpClient client(&http, u"");
    HttpResponse response;
    ASSERT_TRUE(client.request(plainRequest("{\"a\":1}"), &response, false, 1000));
    HttpRequest sent = http.last();
    EXPECT_EQ(gt::test::bytes(sent.body), "{\"a\":1}");
    EXPECT_EQ(utf8(sent.headers.get(u"Content-Length")), "999");
    for (char16_t const* header : {u"X-Ca-Nonce", u"X-Ca-Timestamp", u"Content-Encoding"})
        EXPECT_FALSE(sent.headers.contains(header));
    EXPECT_EQ(gt::test::bytes(response.body), "plain");
}

TEST(EncryptedHttpClient, TransportFailureLeavesTheResponseAlone) {
    FakeHttp http;
    EncryptedHttpClient client(&http, kSpec);
    HttpResponse response;
    response.statusCode = 42;
    EXPECT_FALSE(client.request(plainRequest("x"), &response, false, 1000));
    EXPECT_EQ(response.statusCode, 42);
    EncryptedHttpClient none(nullptr, kSpec);
    EXPECT_FALSE(none.request(plainRequest("x"), &response, false, 1000));
}

// A clock check that answers 316 with the server's time to the first
// request of a call, or to every request.
struct SkewedServer {
    long long skew = 3600;
    bool always = false;
    bool withReset = true;
    int requests = 0;
    EncryptingServer inner;

    FakeHttp::Answer handler() {
        auto next = inner.handler();
        return [this, next](HttpRequest const& request, HttpResponse& reply) {
            ++requests;
            long long stamp = request.headers.get(u"X-Ca-Timestamp").toInt64();
            long long serverNow = now() + skew;
            if (always || std::llabs(stamp - serverNow) > 60) {
                reply.version = u"HTTP/1.1";
                reply.statusCode = 316;
                if (withReset)
                    reply.headers.set(u"X-Ca-Timestamp-Reset", gt::test::str(std::to_string(serverNow)));
                return true;
            }
            return next(request, reply);
        };
    }
};

TEST(EncryptedHttpClient, ClockResetIsFollowedOnceAndKept) {
    FakeHttp http;
    SkewedServer server;
    http.answer = server.handler();
    EncryptedHttpClient client(&http, kSpec);
    HttpResponse response;
    ASSERT_TRUE(client.request(plainRequest("x"), &response, false, 5000));
    EXPECT_EQ(server.requests, 2);
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(gt::test::bytes(response.body), "{\"ok\":1}");
    EXPECT_LE(std::llabs(client.clockOffset() - 3600), 2);
    long long second = http.last().headers.get(u"X-Ca-Timestamp").toInt64();
    EXPECT_LE(std::llabs(second - (now() + 3600)), 5);

    // The offset stays: the next call needs one request only.
    ASSERT_TRUE(client.request(plainRequest("y"), &response, false, 5000));
    EXPECT_EQ(server.requests, 3);
}

TEST(EncryptedHttpClient, RepeatedOrIncompleteClockResetFailsTheCall) {
    struct Case {
        bool always;
        bool withReset;
        int requests;
    };
    Case const cases[] = {{true, true, 2}, {false, false, 1}};
    for (Case const& c : cases) {
        FakeHttp http;
        SkewedServer server;
        server.always = c.always;
        server.withReset = c.withReset;
        http.answer = server.handler();
        EncryptedHttpClient client(&http, kSpec);
        HttpResponse response;
        EXPECT_FALSE(client.request(plainRequest("x"), &response, false, 5000));
        EXPECT_EQ(server.requests, c.requests);
        EXPECT_EQ(response.statusCode, -1);
    }
}

// Anyone on the path of plain HTTP can answer 316 with any reset value: one
// that cannot be a time (near the 64-bit limits it would overflow the offset)
// fails the call and leaves the offset as it was; a time, however far off,
// is followed.
TEST(EncryptedHttpClient, AClockResetThatCannotBeATimeIsRefused) {
    struct Case {
        char const* reset;
        bool followed;
    } const cases[] = {
        {"9223372036854775807", false},  // INT64_MAX
        {"9223372036854775806", false},
        {"-9223372036854775808", false},  // INT64_MIN
        {"-9223372036854775807", false},
        {"99999999999999999999999", false},
        {"253402300800", false},  // past the end of year 9999
        {"-1", false},
        {"", false},
        {"12ab", false},
        {"253402300799", true},
        {"0", true},
        {"1700000000", true},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.reset);
        FakeHttp http;
        EncryptingServer server;
        int requests = 0;
        auto next = server.handler();
        http.answer = [&](HttpRequest const& request, HttpResponse& reply) {
            if (++requests > 1) return next(request, reply);
            reply.version = u"HTTP/1.1";
            reply.statusCode = 316;
            reply.headers.set(u"X-Ca-Timestamp-Reset", gt::test::str(c.reset));
            return true;
        };
        EncryptedHttpClient client(&http, kSpec);
        HttpResponse response;
        EXPECT_EQ(c.followed, client.request(plainRequest("x"), &response, false, 5000));
        EXPECT_EQ(c.followed ? 2 : 1, requests);
        if (c.followed) {
            long long const reset = std::stoll(c.reset);
            EXPECT_LE(std::llabs(client.clockOffset() - (reset - now())), 2);
            long long const sent = http.last().headers.get(u"X-Ca-Timestamp").toInt64();
            EXPECT_LE(std::llabs(sent - reset), 2);
            // Later requests keep using it without a fault.
            EXPECT_TRUE(client.request(plainRequest("y"), &response, false, 5000));
        } else {
            EXPECT_EQ(0, client.clockOffset());
            EXPECT_EQ(-1, response.statusCode);
            EXPECT_NE(std::string::npos, utf8(response.reason).find("clock reset")) << utf8(response.reason);
        }
    }
}

}  // namespace
