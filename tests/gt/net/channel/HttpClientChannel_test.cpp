#include "gt/net/channel/HttpClientChannel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/Text.h"

using gt::core::Binary;
using gt::net::HttpClientChannel;
using gt::net::HttpRequest;
using gt::net::HttpResponse;
using gt::net::SocketEventSelector;
using gt::test::bin;
using gt::test::bytes;
using gt::test::ConnectedPair;
using gt::test::pumpFor;
using gt::test::pumpUntil;
using gt::test::utf8;

namespace {

class HttpClientChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        channel.reset(new HttpClientChannel(&pair.client, &selector, 4096, 1024));
        channel->onResponse = [this](HttpResponse& r) {
            responses.push_back(std::to_string(r.statusCode) + " " + utf8(r.reason) + ":" + bytes(r.body));
        };
        channel->onDisconnect = [this] { ++disconnects; };
    }

    void serverSends(std::string const& text) {
        ASSERT_EQ(pair.server.send(bin(text), 0, static_cast<int>(text.size())),
                  static_cast<int>(text.size()));
    }

    std::string serverReads(size_t n) {
        std::string got;
        Binary buffer;
        buffer.resize(4096, 0);
        while (got.size() < n) {
            pumpFor(selector, 5);
            if (!pair.server.wait(true, false, false, 0)) continue;
            int r = pair.server.recv(buffer, 0, 4096);
            if (r <= 0) break;
            got.append(buffer.data(), static_cast<size_t>(r));
        }
        return got;
    }

    SocketEventSelector selector{0};
    ConnectedPair pair;
    std::unique_ptr<HttpClientChannel> channel;
    std::vector<std::string> responses;
    int disconnects = 0;
};

}  // namespace

TEST_F(HttpClientChannelTest, SendsTheRequestAsGiven) {
    HttpRequest request;
    request.method = u"POST";
    request.target = u"/a?b=1";
    request.version = u"HTTP/1.1";
    request.headers.set(u"Host", u"h");
    request.headers.set(u"Content-Length", u"3");
    request.body = Binary("xyz");
    ASSERT_TRUE(channel->sendRequest(request));
    ASSERT_TRUE(channel->sendChunk(Binary("abc")));
    std::string expected = "POST /a?b=1 HTTP/1.1\r\nContent-Length: 3\r\nHost: h\r\n\r\nxyz3\r\nabc\r\n";
    EXPECT_EQ(serverReads(expected.size()), expected);
}

TEST_F(HttpClientChannelTest, ResponseArrivingByteByByte) {
    std::string wire =
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloHTTP/1.1 204 No Content\r\nX: y\r\n\r\n";
    for (char c : wire) {
        serverSends(std::string(1, c));
        pumpFor(selector, 1, 1);
    }
    ASSERT_TRUE(pumpUntil(selector, [this] { return responses.size() == 2; }));
    EXPECT_EQ(responses, (std::vector<std::string>{"200 OK:hello", "204 No Content:"}));
    EXPECT_TRUE(channel->isIdle());
    EXPECT_TRUE(channel->isValid());
    EXPECT_EQ(disconnects, 0);
}

TEST_F(HttpClientChannelTest, BodyUntilCloseIsDeliveredAtTheClose) {
    serverSends("HTTP/1.0 200 OK\r\nServer: t\r\n\r\nfirst ");
    pumpFor(selector, 20);
    EXPECT_TRUE(responses.empty());
    serverSends("second");
    pair.server.shutdown(gt::net::Socket::SHUT_SEND);
    ASSERT_TRUE(pumpUntil(selector, [this] { return disconnects == 1; }));
    EXPECT_EQ(responses, std::vector<std::string>{"200 OK:first second"});
    EXPECT_FALSE(channel->hasProtocolError());
}

TEST_F(HttpClientChannelTest, BodyCutByTheCloseIsNotAResponse) {
    serverSends("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd");
    pair.server.shutdown(gt::net::Socket::SHUT_SEND);
    ASSERT_TRUE(pumpUntil(selector, [this] { return disconnects == 1; }));
    EXPECT_TRUE(responses.empty());
    EXPECT_TRUE(channel->hasProtocolError());
    EXPECT_FALSE(channel->isValid());
}

TEST_F(HttpClientChannelTest, OversizedReplyClosesTheConnection) {
    serverSends("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n");
    ASSERT_TRUE(pumpUntil(selector, [this] { return disconnects == 1; }));
    EXPECT_TRUE(responses.empty());
    EXPECT_TRUE(channel->hasProtocolError());
    EXPECT_FALSE(channel->sendRequest(HttpRequest()));
}

TEST_F(HttpClientChannelTest, MayBeDestroyedFromOnDisconnect) {
    channel->onDisconnect = [this] {
        ++disconnects;
        channel.reset();
    };
    serverSends("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nz");
    pair.server.shutdown(gt::net::Socket::SHUT_BOTH);
    ASSERT_TRUE(pumpUntil(selector, [this] { return disconnects == 1; }));
    EXPECT_EQ(responses, std::vector<std::string>{"200 OK:z"});
    EXPECT_FALSE(channel);
}

TEST_F(HttpClientChannelTest, CallbacksMayReplaceThemselvesOrDestroyTheChannel) {
    // The callbacks below keep state of their own (stored on the heap by
    // std::function) and use it after the call replaced the callback or
    // destroyed the channel that held it.
    std::string tag(64, 'r');
    channel->onResponse = [this, tag](HttpResponse& r) {
        channel->onResponse = nullptr;
        responses.push_back(tag.substr(0, 1) + std::to_string(r.statusCode));
    };
    std::string bye(64, 'd');
    channel->onDisconnect = [this, bye] {
        channel.reset();
        responses.push_back(bye.substr(0, 1));
        ++disconnects;
    };
    serverSends("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nzHTTP/1.1 201 OK\r\nContent-Length: 0\r\n\r\n");
    pair.server.shutdown(gt::net::Socket::SHUT_BOTH);
    ASSERT_TRUE(pumpUntil(selector, [this] { return disconnects == 1; }));
    EXPECT_EQ(responses, (std::vector<std::string>{"r200", "d"}));
    EXPECT_FALSE(channel);
}
