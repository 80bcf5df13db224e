// The web and JSON-RPC clients over the raw HTTP client, against the Python
// HTTP peer on 127.0.0.1.
#include <gtest/gtest.h>

#include "gt/core/lang/Exception.h"
#include "gt/util/JsonRpcClient.h"
#include "gt/util/RawHttpClient.h"
#include "gt/util/WebClient.h"
#include "support/HttpPeer.h"
#include "support/Text.h"

using gt::core::Any;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::Exception;
using gt::core::String;
using gt::net::URL;
using gt::test::bytes;
using gt::test::HttpPeer;
using gt::test::utf8;
using gt::util::HttpContent;
using gt::util::JsonRpcClient;
using gt::util::RawHttpClient;
using gt::util::RpcException;
using gt::util::RpcMethodNotFoundException;
using gt::util::WebClient;

namespace {

class WebClientLoopbackTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_peer = new HttpPeer; }
    static void TearDownTestSuite() {
        delete s_peer;
        s_peer = nullptr;
    }
    void SetUp() override {
        ASSERT_GT(s_peer->port(), 0) << "the Python peer did not start";
        web.setExchangeTimeout(5000);
        web.setTotalTimeout(10000);
    }

    static URL url(std::string const& pathAndQuery) {
        return URL(String::fromUtf8(("http://" + s_peer->hostPort() + pathAndQuery).c_str()));
    }

    bool get(std::string const& pathAndQuery) {
        return web.request(u"GET", url(pathAndQuery), Dictionary<String>(), HttpContent(), true);
    }

    static HttpPeer* s_peer;
    RawHttpClient transport{60000};
    WebClient web{&transport};
};

HttpPeer* WebClientLoopbackTest::s_peer = nullptr;

}  // namespace

TEST_F(WebClientLoopbackTest, FollowsRedirectsOfEveryForm) {
    for (char const* mode : {"rel", "abs", "dir"}) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(get(std::string("/redirect?n=3&code=302&mode=") + mode));
        EXPECT_EQ(web.statusCode(), 200);
        EXPECT_EQ(bytes(web.body()), "done GET ");
    }
    // A POST stays a POST, with its body.
    ASSERT_TRUE(web.request(u"POST", url("/redirect?n=2&code=307"), Dictionary<String>(),
                            HttpContent(u"text/plain", Binary("payload")), true));
    EXPECT_EQ(bytes(web.body()), "done POST payload");
    // Every hop went over the one kept connection.
    EXPECT_EQ(transport.connectionCount(), 1);
}

TEST_F(WebClientLoopbackTest, RedirectWithoutLocationAndErrors) {
    EXPECT_TRUE(get("/noloc"));
    EXPECT_EQ(web.statusCode(), 302);
    EXPECT_EQ(bytes(web.body()), "nowhere");
    EXPECT_FALSE(get("/status?code=404&reason=Gone&body=missing"));
    EXPECT_EQ(web.statusCode(), 404);
    EXPECT_EQ(utf8(web.reason()), "Gone");
    EXPECT_EQ(bytes(web.body()), "missing");
    EXPECT_FALSE(get("/cut"));
    EXPECT_EQ(web.statusCode(), -1);
}

TEST_F(WebClientLoopbackTest, CookiesTravelBack) {
    ASSERT_TRUE(
        get("/setcookie?c=sid%3Dabc%3B%20Path%3D%2F%3B%20HttpOnly&c=lang%3Dzh"
            "&c=evil%3D1%3B%20Domain%3Dother.example"));
    ASSERT_EQ(web.cookieJar()->count(), 2);
    ASSERT_TRUE(get("/cookies"));
    EXPECT_EQ(bytes(web.body()), "sid=abc; lang=zh");
    ASSERT_TRUE(get("/setcookie?c=sid%3Dnew"));
    ASSERT_TRUE(get("/cookies"));
    EXPECT_EQ(bytes(web.body()), "sid=new; lang=zh");
}

TEST_F(WebClientLoopbackTest, JsonRpcCalls) {
    JsonRpcClient rpc(&web, url("/jsonrpc"));
    Dictionary<Any> params;
    params.set(u"text", Any(u"中文"));
    params.set(u"n", Any(3));
    Any result = rpc.call(u"echo", params);
    ASSERT_TRUE(result.is<Dictionary<Any>>());
    EXPECT_EQ(utf8(gt::core::toString(result.cast<Dictionary<Any>>().get(u"text"))), "中文");
    EXPECT_EQ(gt::core::toInt(result.cast<Dictionary<Any>>().get(u"n")), 3);
    EXPECT_TRUE(rpc.call(u"null", Dictionary<Any>()).isEmpty());
    EXPECT_EQ(utf8(gt::core::toString(rpc.call(u"textid", Dictionary<Any>()))), "ok");

    try {
        rpc.call(u"missing", Dictionary<Any>());
        ADD_FAILURE() << "no exception";
    } catch (RpcMethodNotFoundException const& e) {
        EXPECT_EQ(e.code(), -32601);
        EXPECT_EQ(utf8(e.message()), "Method not found");
    }
    Dictionary<Any> error;
    error.set(u"code", Any(101));
    error.set(u"message", Any(u"会话已过期"));
    try {
        rpc.call(u"error", error);
        ADD_FAILURE() << "no exception";
    } catch (RpcException const& e) {
        EXPECT_EQ(e.code(), 101);
        EXPECT_EQ(utf8(e.message()), "会话已过期");
    }
    auto message = [&rpc](char16_t const* method) {
        try {
            rpc.call(method, Dictionary<Any>());
        } catch (Exception const& e) {
            return utf8(e.message());
        }
        return std::string("<no exception>");
    };
    EXPECT_EQ(message(u"fail"), "HTTP: 500 - Server Boom");
    std::string page = "<html><head><title>x</title></head><body>" + std::string(100, 'y');
    EXPECT_EQ(message(u"html"), "响应内容不是有效JSON格式: '" + page.substr(0, 64) + "...'");
    EXPECT_EQ(message(u"badid"), "JSON-RPC 响应中的 'id' 与请求的不一致");
    EXPECT_EQ(message(u"strerror"), "收到一个 JSON-RPC 异常, 但 'error' 字段结构不正确, 未能读取异常描述");

    JsonRpcClient nowhere(&web, URL(u"http://127.0.0.1:70000/x"));
    try {
        nowhere.call(u"m", Dictionary<Any>());
        ADD_FAILURE() << "no exception";
    } catch (Exception const& e) {
        EXPECT_EQ(utf8(e.message()), "HTTP: 无法访问网络");
    }
}
