#include "tunnel/api/ApiClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/FakeHttp.h"
#include "support/Text.h"

using gt::core::Any;
using gt::core::Dictionary;
using gt::core::String;
using gt::test::FakeHttp;
using gt::test::replyWith;
using gt::test::utf8;
using tunnel::ApiClient;

namespace {

Dictionary<Any> someEntries() {
    Dictionary<Any> d;
    d.set(u"old", Any(1));
    return d;
}

TEST(ApiClient, ResultKindsDecideSuccess) {
    struct Case {
        char const* member;
        bool ok;
        int entries;  // of the result dictionary afterwards; -1: untouched
    };
    Case const cases[] = {
        {"\"result\":null", true, 0},
        {"\"result\":{}", true, 0},
        {"\"result\":{\"a\":1,\"b\":\"x\"}", true, 2},
        {"\"result\":[]", false, -1},
        {"\"result\":5", false, -1},
        {"\"result\":\"text\"", false, -1},
        {"\"result\":true", false, -1},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.member);
        FakeHttp http;
        http.answer = replyWith(c.member);
        ApiClient client(&http, gt::net::URL(u"http://api.test/user"), u"sid");
        Dictionary<Any> result = someEntries();
        EXPECT_EQ(client.call(u"/x", u"m", Dictionary<Any>(), &result, 1000), c.ok);
        if (c.entries < 0) {
            EXPECT_EQ(client.errorCode(), -1);
            EXPECT_EQ(utf8(client.errorMessage()),
                      "服务器的响应不正确: 'result' 既不是对象也不是 null, 请稍后重试");
            EXPECT_TRUE(result.contains(u"old"));
        } else {
            EXPECT_EQ(client.errorCode(), 0);
            EXPECT_EQ(result.count(), c.entries);
        }
        // A null result pointer is allowed.
        EXPECT_EQ(client.call(u"/x", u"m", Dictionary<Any>(), nullptr, 1000), c.ok);
    }
}

TEST(ApiClient, ErrorRepliesKeepCodeAndMessageAndOnly101EndsTheSession) {
    struct Case {
        int code;
        bool sessionKept;
    };
    Case const cases[] = {{101, false}, {7, true}, {-32601, true}, {-32602, true}, {0, true}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.code);
        FakeHttp http;
        http.answer =
            replyWith("\"error\":{\"code\":" + std::to_string(c.code) + ",\"message\":\"会话 gone\"}");
        ApiClient client(&http, gt::net::URL(u"http://api.test/user"), u"sid");
        EXPECT_FALSE(client.call(u"/x", u"m", Dictionary<Any>(), nullptr, 1000));
        EXPECT_EQ(client.errorCode(), c.code);
        EXPECT_EQ(utf8(client.errorMessage()), "会话 gone");
        EXPECT_EQ(client.sessionId() == u"sid", c.sessionKept);
        EXPECT_EQ(client.hasSession(), c.sessionKept);
    }
}

TEST(ApiClient, TransportFailureIsMinusOneWithTextAndNextSuccessClearsIt) {
    FakeHttp http;
    bool fail = true;
    http.answer = [&](gt::net::HttpRequest const& request, gt::net::HttpResponse& reply) {
        if (fail) return false;
        gt::test::rpcReply(request, reply, "\"result\":null");
        return true;
    };
    ApiClient client(&http, gt::net::URL(u"http://api.test/user"), u"sid");
    EXPECT_FALSE(client.call(u"/x", u"m", Dictionary<Any>(), nullptr, 1000));
    EXPECT_EQ(client.errorCode(), -1);
    EXPECT_FALSE(client.errorMessage().isEmpty());
    EXPECT_EQ(client.sessionId(), String(u"sid"));

    fail = false;
    EXPECT_TRUE(client.call(u"/x", u"m", Dictionary<Any>(), nullptr, 1000));
    EXPECT_EQ(client.errorCode(), 0);
    EXPECT_TRUE(client.errorMessage().isEmpty());
}

// The window reads the error after its call returns, while the background
// refresh may have made a call of its own in between: each thread reads the
// error of its own last call.
TEST(ApiClient, EachThreadReadsTheErrorOfItsOwnLastCall) {
    FakeHttp http;
    http.answer = [&](gt::net::HttpRequest const& request, gt::net::HttpResponse& reply) {
        std::string const body = gt::test::bytes(request.body);
        if (body.find("\"fail\"") != std::string::npos) {
            gt::test::rpcReply(request, reply, "\"error\":{\"code\":7,\"message\":\"设备已删除\"}");
        } else {
            gt::test::rpcReply(request, reply, "\"result\":null");
        }
        return true;
    };
    ApiClient client(&http, gt::net::URL(u"http://api.test/user"), u"sid");
    EXPECT_FALSE(client.call(u"/x", u"fail", Dictionary<Any>(), nullptr, 1000));

    // Another thread's call succeeds meanwhile, then fails in its own way.
    int otherCode = -2;
    std::string otherText = "unset";
    std::thread other([&] {
        EXPECT_EQ(client.errorCode(), 0);  // nothing of its own yet
        EXPECT_TRUE(client.call(u"/x", u"ok", Dictionary<Any>(), nullptr, 1000));
        otherCode = client.errorCode();
        http.answer = [](gt::net::HttpRequest const&, gt::net::HttpResponse&) { return false; };
        EXPECT_FALSE(client.call(u"/x", u"ok", Dictionary<Any>(), nullptr, 1000));
        otherText = utf8(client.errorMessage());
    });
    other.join();
    EXPECT_EQ(otherCode, 0);
    EXPECT_EQ(otherText, "HTTP: 无法访问网络");
    EXPECT_EQ(client.errorCode(), 7);
    EXPECT_EQ(utf8(client.errorMessage()), "设备已删除");

    // A client made later starts without an error, in every thread.
    {
        ApiClient later(&http, gt::net::URL(u"http://api.test/user"), u"sid");
        EXPECT_EQ(later.errorCode(), 0);
        EXPECT_TRUE(later.errorMessage().isEmpty());
    }
}

TEST(ApiClient, HttpErrorStatusAndNonJsonReplyAreLocalFailures) {
    struct Case {
        int status;
        char const* body;
    };
    Case const cases[] = {{500, "{}"}, {404, ""}, {200, "<html>proxy page</html>"}, {200, ""}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.body);
        FakeHttp http;
        http.answer = [&](gt::net::HttpRequest const&, gt::net::HttpResponse& reply) {
            reply.version = u"HTTP/1.1";
            reply.statusCode = c.status;
            reply.body = gt::test::bin(c.body);
            return true;
        };
        ApiClient client(&http, gt::net::URL(u"http://api.test/user"), u"sid");
        EXPECT_FALSE(client.call(u"/x", u"m", Dictionary<Any>(), nullptr, 1000));
        EXPECT_EQ(client.errorCode(), -1);
        EXPECT_FALSE(client.errorMessage().isEmpty());
    }
}

TEST(ApiClient, PathIsAppendedToTheRootAsPlainText) {
    struct Case {
        char16_t const* root;
        char16_t const* path;
        char const* target;
    };
    Case const cases[] = {
        {u"http://api.test/v2/user", u"/account", "/v2/user/account"},
        {u"http://api.test:8080/user", u"/util", "/user/util"},
        {u"http://api.test/user/", u"/util", "/user//util"},
        {u"http://api.test", u"/util", "/util"},
    };
    for (Case const& c : cases) {
        FakeHttp http;
        http.answer = replyWith("\"result\":null");
        ApiClient client(&http, gt::net::URL(c.root), String());
        ASSERT_TRUE(client.call(c.path, u"m", Dictionary<Any>(), nullptr, 1000));
        gt::net::HttpRequest sent = http.last();
        EXPECT_EQ(utf8(sent.method), "POST");
        EXPECT_EQ(utf8(sent.target), c.target);
        EXPECT_EQ(utf8(gt::test::rpcOf(sent).get(u"method").cast<String>()), "m");
    }
}

TEST(ApiClient, PingCallsUtilWithEmptyParamsAndReportsFailureAsMinusOne) {
    FakeHttp http;
    http.answer = replyWith("\"result\":null");
    ApiClient client(&http, gt::net::URL(u"http://api.test/device"), u"sid");
    EXPECT_GE(client.ping(), 0);
    gt::net::HttpRequest sent = http.last();
    EXPECT_EQ(utf8(sent.target), "/device/util");
    EXPECT_EQ(gt::test::paramsJson(sent), "{}");

    http.answer = replyWith("\"result\":[1]");
    EXPECT_EQ(client.ping(), -1);
    http.answer = nullptr;
    EXPECT_EQ(client.ping(), -1);
}

TEST(ApiClient, CookiesSetByTheApiAreSentAgain) {
    FakeHttp http;
    http.answer = [](gt::net::HttpRequest const& request, gt::net::HttpResponse& reply) {
        gt::test::rpcReply(request, reply, "\"result\":null");
        reply.headers.set(u"Set-Cookie", u"route=r7; Path=/");
        return true;
    };
    ApiClient client(&http, gt::net::URL(u"http://api.test/user"), String());
    ASSERT_TRUE(client.call(u"/util", u"ping", Dictionary<Any>(), nullptr, 1000));
    ASSERT_TRUE(client.call(u"/util", u"ping", Dictionary<Any>(), nullptr, 1000));
    EXPECT_NE(utf8(http.last().headers.get(u"Cookie")).find("route=r7"), std::string::npos);
}

TEST(ApiClient, CallsFromSeveralThreadsAreServedOneAtATime) {
    FakeHttp http;
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    http.answer = [&](gt::net::HttpRequest const& request, gt::net::HttpResponse& reply) {
        if (inside.fetch_add(1) != 0) ++overlaps;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        gt::test::rpcReply(request, reply, "\"result\":{\"n\":1}");
        inside.fetch_sub(1);
        return true;
    };
    ApiClient client(&http, gt::net::URL(u"http://api.test/user"), u"sid");
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i) {
                Dictionary<Any> result;
                if (!client.call(u"/x", u"m", Dictionary<Any>(), &result, 1000) || !result.contains(u"n"))
                    ++failures;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(failures.load(), 0);
}

// The error of the last call is read whole while other threads' calls keep
// failing: never a message half replaced, and each caller reads a whole one
// of its own.
TEST(ApiClient, ErrorReadWhileOtherThreadsCallIsAlwaysAWholeMessage) {
    std::string const messages[2] = {std::string(200, 'a') + " first", std::string(300, 'b') + " second"};
    FakeHttp http;
    std::atomic<unsigned> turn{0};
    http.answer = [&](gt::net::HttpRequest const& request, gt::net::HttpResponse& reply) {
        std::string const& message = messages[turn.fetch_add(1) % 2];
        gt::test::rpcReply(request, reply, "\"error\":{\"code\":7,\"message\":\"" + message + "\"}");
        return true;
    };
    ApiClient client(&http, gt::net::URL(u"http://api.test/user"), u"sid");
    std::atomic<bool> done{false};
    std::vector<std::thread> callers;
    std::atomic<int> notOwn{0};
    for (int t = 0; t < 2; ++t) {
        callers.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                client.call(u"/x", u"m", Dictionary<Any>(), nullptr, 1000);
                std::string const got = utf8(client.errorMessage());
                if (got != messages[0] && got != messages[1]) ++notOwn;
            }
        });
    }
    int reads = 0, broken = 0;
    std::thread reader([&] {
        while (!done) {
            std::string const got = utf8(client.errorMessage());
            if (!got.empty() && got != messages[0] && got != messages[1]) ++broken;
            ++reads;
        }
    });
    for (std::thread& t : callers)
        t.join();
    done = true;
    reader.join();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(broken, 0);
    EXPECT_EQ(notOwn.load(), 0);

    // What a caller holds is its own: another thread's call does not
    // change it (nor free it) afterwards, nor the error this thread reads.
    client.call(u"/x", u"m", Dictionary<Any>(), nullptr, 1000);
    auto const& held = client.errorMessage();
    std::string const before = utf8(held);
    EXPECT_FALSE(before.empty());
    std::thread([&] { client.call(u"/x", u"m", Dictionary<Any>(), nullptr, 1000); }).join();
    EXPECT_EQ(utf8(client.errorMessage()), before);
    EXPECT_EQ(utf8(held), before);
}

TEST(ApiClient, LoginNameRule) {
    struct Case {
        char16_t const* name;
        char16_t const* sent;
    };
    Case const cases[] = {
        {u"1234", u"861234"},
        {u"861234", u"861234"},
        {u"86", u"86"},
        {u"8", u"868"},
        {u"alice", u"alice"},
        {u"0138", u"0138"},
        {u"", u""},
        {u"0", u"860"},
        {u"-5", u"86-5"},
        {u"+5", u"+5"},
        {u" 5", u" 5"},
        {u"5 ", u"5 "},
        {u"13800138000", u"8613800138000"},
        {u"99999999999999999999", u"99999999999999999999"},
        {u"9223372036854775807", u"869223372036854775807"},
    };
    for (Case const& c : cases)
        EXPECT_EQ(utf8(tunnel::normalizeLoginName(c.name)), utf8(c.sent)) << utf8(c.name);
}

}  // namespace
