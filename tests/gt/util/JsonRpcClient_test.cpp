#include "gt/util/JsonRpcClient.h"

#include <gtest/gtest.h>

#include "gt/core/lang/Sequence.h"
#include "gt/core/util/JSON.h"
#include "support/FakeHttp.h"
#include "support/Text.h"

using gt::core::Any;
using gt::core::Dictionary;
using gt::core::Exception;
using gt::core::String;
using gt::net::URL;
using gt::test::FakeHttp;
using gt::test::utf8;
using gt::util::JsonRpcClient;
using gt::util::RpcBadParamsException;
using gt::util::RpcException;
using gt::util::RpcMethodNotFoundException;
using gt::util::WebClient;

namespace {

class JsonRpcClientTest : public ::testing::Test {
protected:
    void SetUp() override { gt::core::detail::setNextSequence(41); }

    // The message of the exception the call throws, as UTF-8.
    std::string failure(char16_t const* method = u"m") {
        try {
            rpc.call(method, Dictionary<Any>());
        } catch (Exception const& e) {
            return utf8(e.message());
        }
        return "<no exception>";
    }

    void reply(std::string body, int status = 200, std::string reason = "OK") {
        transport.queue(status, std::move(body), std::move(reason));
    }

    FakeHttp transport;
    WebClient web{&transport};
    JsonRpcClient rpc{&web, URL(u"http://api:80/util")};
};

}  // namespace

TEST_F(JsonRpcClientTest, RequestIsAPrettyJsonPost) {
    reply(R"({"jsonrpc":"2.0","id":41,"result":{"x":[1,"y"]}})");
    Dictionary<Any> params;
    params.set(u"name", Any(u"中文"));
    params.set(u"n", Any(5));
    Any result = rpc.call(u"ping", params);
    ASSERT_EQ(transport.calls.size(), 1u);
    std::string body =
        "{\r\n\t\"id\":41,\r\n\t\"jsonrpc\":\"2.0\",\r\n\t\"method\":\"ping\",\r\n\t\"params\":{\r\n"
        "\t\t\"n\":5,\r\n\t\t\"name\":\"\xe4\xb8\xad\xe6\x96\x87\"\r\n\t}\r\n}";
    EXPECT_EQ(transport.calls[0].wire,
              "POST /util HTTP/1.1\r\nAccept: */*\r\nAccept-Language: zh-cn\r\nCache-Control: no-cache\r\n"
              "Connection: Keep-Alive\r\nContent-Length: " +
                  std::to_string(body.size()) +
                  "\r\nContent-Type: application/json\r\nCookie: \r\nHost: api:80\r\n\r\n" + body);
    ASSERT_TRUE(result.is<Dictionary<Any>>());
    String text;
    gt::core::JSON::encode(result, &text, false);
    EXPECT_EQ(utf8(text), R"({"x":[1,"y"]})");

    // Ids come from the process-wide sequence; another URL may be named.
    reply(R"({"id":42,"result":true})");
    EXPECT_TRUE(gt::core::toBool(rpc.call(URL(u"http://other/account"), u"m", Dictionary<Any>())));
    EXPECT_EQ(utf8(transport.calls[1].request.target), "/account");
    EXPECT_EQ(utf8(transport.calls[1].request.headers.get(u"Host")), "other");
}

TEST_F(JsonRpcClientTest, ResultReplies) {
    reply(R"({"id":41,"result":null})");
    EXPECT_TRUE(rpc.call(u"m", Dictionary<Any>()).isEmpty());
    reply(R"({"id":"42","result":"ok"})");
    EXPECT_EQ(utf8(gt::core::toString(rpc.call(u"m", Dictionary<Any>()))), "ok");
}

TEST_F(JsonRpcClientTest, FailureMessagesAreExact) {
    std::string html = "<html><head><title>x</title></head><body>" + std::string(100, 'y') + "</body></html>";
    struct Case {
        char const* name;
        bool ok;
        int status;
        std::string reason;
        std::string body;
        std::string message;
    } const cases[] = {
        {"nothing received", false, -1, "", "",
         "HTTP: \xe6\x97\xa0\xe6\xb3\x95\xe8\xae\xbf\xe9\x97\xae\xe7\xbd\x91\xe7\xbb\x9c"},
        {"nothing received, with a reason", false, -1, "connect failed", "", "HTTP: connect failed"},
        {"HTTP error with reason", true, 500, "Server Boom", "boom", "HTTP: 500 - Server Boom"},
        {"HTTP error without reason", true, 404, "", "", "HTTP: 404"},
        {"HTML page", true, 200, "OK", html,
         "\xe5\x93\x8d\xe5\xba\x94\xe5\x86\x85\xe5\xae\xb9\xe4\xb8\x8d\xe6\x98\xaf\xe6\x9c\x89\xe6\x95\x88JSO"
         "N"
         "\xe6\xa0\xbc\xe5\xbc\x8f: '" +
             html.substr(0, 64) + "...'"},
        {"array root", true, 200, "OK", "[1]",
         "\xe5\x93\x8d\xe5\xba\x94\xe5\x86\x85\xe5\xae\xb9\xe4\xb8\x8d\xe6\x98\xaf\xe6\x9c\x89\xe6\x95\x88JSO"
         "N\xe6\xa0\xbc\xe5\xbc\x8f: '[1]...'"},
        {"error is a string", true, 200, "OK", R"({"id":41,"error":"oops"})",
         "\xe6\x94\xb6\xe5\x88\xb0\xe4\xb8\x80\xe4\xb8\xaa JSON-RPC \xe5\xbc\x82\xe5\xb8\xb8, \xe4\xbd\x86 "
         "'error' "
         "\xe5\xad\x97\xe6\xae\xb5\xe7\xbb\x93\xe6\x9e\x84\xe4\xb8\x8d\xe6\xad\xa3\xe7\xa1\xae, "
         "\xe6\x9c\xaa\xe8\x83\xbd\xe8\xaf\xbb\xe5\x8f\x96\xe5\xbc\x82\xe5\xb8\xb8\xe6\x8f\x8f\xe8\xbf\xb0"},
        {"neither error nor result", true, 200, "OK", R"({"id":41})",
         "JSON-RPC "
         "\xe6\x94\xb6\xe5\x88\xb0\xe4\xb8\x80\xe4\xb8\xaa\xe4\xb8\x8d\xe6\xad\xa3\xe7\xa1\xae\xe7\x9a\x84"
         "\xe5\x93\x8d\xe5\xba\x94\xe7\xbb\x93\xe6\x9e\x84, \xe6\x97\xa2\xe6\xb2\xa1\xe6\x9c\x89 'error' "
         "\xe5\xad\x97\xe6\xae\xb5\xe4\xb9\x9f\xe6\xb2\xa1\xe6\x9c\x89 'result' \xe5\xad\x97\xe6\xae\xb5"},
        {"id mismatch", true, 200, "OK", R"({"id":7,"result":1})",
         "JSON-RPC \xe5\x93\x8d\xe5\xba\x94\xe4\xb8\xad\xe7\x9a\x84 'id' "
         "\xe4\xb8\x8e\xe8\xaf\xb7\xe6\xb1\x82\xe7\x9a\x84"
         "\xe4\xb8\x8d\xe4\xb8\x80\xe8\x87\xb4"},
        {"missing id", true, 200, "OK", R"({"result":1})",
         "JSON-RPC \xe5\x93\x8d\xe5\xba\x94\xe4\xb8\xad\xe7\x9a\x84 'id' "
         "\xe4\xb8\x8e\xe8\xaf\xb7\xe6\xb1\x82\xe7\x9a\x84"
         "\xe4\xb8\x8d\xe4\xb8\x80\xe8\x87\xb4"},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        gt::core::detail::setNextSequence(41);
        transport.replies.clear();
        if (c.ok) {
            reply(c.body, c.status, c.reason);
        } else {
            transport.replies.emplace_back();
            transport.replies.back().ok = false;
            transport.replies.back().reason = c.reason;
        }
        EXPECT_EQ(failure(), c.message);
    }
}

TEST_F(JsonRpcClientTest, ErrorRepliesThrowByCode) {
    struct Case {
        std::string body;
        int code;
        std::string message;
        int kind;  // 0 RpcException, 1 method not found, 2 bad params
    } const cases[] = {
        {R"({"id":41,"error":{"code":-32601,"message":"Method not found"}})", -32601, "Method not found", 1},
        {R"({"id":41,"error":{"code":-32602,"message":"bad"}})", -32602, "bad", 2},
        {R"({"id":41,"error":{"code":101,"message":"\u4f1a\u8bdd"}})", 101, "\xe4\xbc\x9a\xe8\xaf\x9d", 0},
        {R"({"id":99,"error":{"code":"7","message":"id not checked"},"result":1})", 7, "id not checked", 0},
        {R"({"error":{}})", 0, "", 0},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.body);
        reply(c.body);
        try {
            rpc.call(u"m", Dictionary<Any>());
            ADD_FAILURE() << "no exception";
        } catch (RpcException const& e) {
            EXPECT_EQ(e.code(), c.code);
            EXPECT_EQ(utf8(e.message()), c.message);
            EXPECT_EQ(dynamic_cast<RpcMethodNotFoundException const*>(&e) != nullptr, c.kind == 1);
            EXPECT_EQ(dynamic_cast<RpcBadParamsException const*>(&e) != nullptr, c.kind == 2);
        }
    }
}
