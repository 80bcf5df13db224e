#include "tunnel/client/DicRpc.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gt/core/lang/Exception.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/RelayFrames.h"
#include "support/TestRelay.h"
#include "support/Text.h"
#include "tunnel/client/ProtocolChannel.h"

using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;
using namespace gt::test;
using gt::test::TestRelay;

namespace {
struct RpcFixture : ::testing::Test {
    TestRelay relay;
    gt::net::SocketEventSelector selector{1000};
    std::unique_ptr<tunnel::ProtocolChannel> channel;
    std::unique_ptr<tunnel::DicRpc> rpc;
    std::vector<std::string> events;

    void SetUp() override {
        gt::net::Socket socket = connectTo(relay.port());
        ASSERT_EQ(relay.command("wait conns 1"), "ok");
        channel.reset(new tunnel::ProtocolChannel(&socket, &selector));
        channel->onDictionary = [this](Dictionary<Binary>& d) {
            events.push_back("other:" + hex(d.get(u"@")));
        };
        rpc.reset(new tunnel::DicRpc(channel.get()));
    }

    void call(char16_t const* method, Dictionary<Binary> const& params = Dictionary<Binary>()) {
        rpc->call(
            method, params,
            [this](Dictionary<Binary> const& d) {
                std::string text = "result:";
                for (auto const& e : d)
                    text += hex(e.first.toBinary()) + "=" + hex(e.second) + ",";
                events.push_back(text);
            },
            [this](tunnel::Error const& e) { events.push_back(gt::test::errorLine(e)); });
    }

    bool waitEvents(size_t n) {
        return pumpUntil(selector, [this, n] { return events.size() >= n; });
    }
};

std::string const kReturn = hexOf("return");
}  // namespace

TEST_F(RpcFixture, CallWritesTheRequestAndDeliversTheWholeReply) {
    Dictionary<Binary> params;
    params.set(u"access_id", Binary("k1"));
    params.set(u"method", Binary("overridden"));
    params.set(u"@", Binary("overridden"));
    call(u"tunnel_create", params);
    EXPECT_TRUE(rpc->isBusy());
    ASSERT_TRUE(waitEvents(1));
    EXPECT_EQ(events[0], "result:40=" + kReturn + ",");
    EXPECT_FALSE(rpc->isBusy());
    std::vector<std::string> frames = relay.frames(0);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], gt::test::tunnelCreateFrame("k1"));
}

TEST_F(RpcFixture, ErrorReplies) {
    struct Case {
        std::string reply;
        std::string expected;
    } const cases[] = {
        {"error_code " + hexOf("7") + " error_msg " + hexOf("denied"), "error:7:denied"},
        {"error_code " + hexOf("abc"), "error:0:"},
        {"error_code " + hexOf("-12") + " error_msg " + hexOf("中"), "error:-12:中"},
        {"error_code - x " + hexOf("1"), "error:0:"},
    };
    ASSERT_EQ(relay.command("reply ping never"), "ok");
    for (auto const& c : cases) {
        events.clear();
        call(u"ping");
        ASSERT_EQ(relay.command("dict 0 @ " + kReturn + " " + c.reply), "ok");
        ASSERT_TRUE(waitEvents(1));
        EXPECT_EQ(events, std::vector<std::string>{c.expected});
        EXPECT_FALSE(rpc->isBusy());
    }
}

TEST_F(RpcFixture, SecondCallWhileBusyThrowsAndLeavesTheFirst) {
    ASSERT_EQ(relay.command("reply ping ok delay=50"), "ok");
    call(u"ping");
    try {
        call(u"ping");
        FAIL() << "no exception";
    } catch (gt::core::Exception const& e) {
        EXPECT_EQ(e.message(), String(u"Rpc busy"));
    }
    ASSERT_TRUE(waitEvents(1));
    EXPECT_EQ(events, std::vector<std::string>{"result:40=" + kReturn + ","});
    EXPECT_EQ(relay.frames(0).size(), 1u);
}

TEST_F(RpcFixture, OtherDictionariesPassThroughWhileACallIsOutstanding) {
    ASSERT_EQ(relay.command("reply ping never"), "ok");
    ASSERT_EQ(relay.command("dict 0 @ " + kReturn), "ok");  // no call outstanding: not a reply
    ASSERT_TRUE(waitEvents(1));
    call(u"ping");
    ASSERT_EQ(relay.command("dict 0 @ " + hexOf("push")), "ok");
    ASSERT_EQ(relay.command("dict 0 x " + hexOf("1")), "ok");
    ASSERT_TRUE(waitEvents(3));
    EXPECT_TRUE(rpc->isBusy());
    ASSERT_EQ(relay.command("dict 0 @ " + kReturn), "ok");
    ASSERT_TRUE(waitEvents(4));
    EXPECT_EQ(events, (std::vector<std::string>{"other:" + kReturn, "other:" + hexOf("push"),
                                                "other:", "result:40=" + kReturn + ","}));
}

TEST_F(RpcFixture, HandlerMayStartTheNextCall) {
    int results = 0;
    std::function<void()> next = [&] {
        rpc->call(
            u"ping", Dictionary<Binary>(),
            [&](Dictionary<Binary> const&) {
                if (++results < 3) next();
            },
            nullptr);
    };
    next();
    EXPECT_TRUE(pumpUntil(selector, [&] { return results == 3; }));
    EXPECT_FALSE(rpc->isBusy());
    EXPECT_EQ(relay.frames(0).size(), 3u);
}

TEST_F(RpcFixture, DestructorGivesTheChannelBack) {
    ASSERT_EQ(relay.command("reply ping never"), "ok");
    call(u"ping");
    rpc.reset();
    ASSERT_EQ(relay.command("dict 0 @ " + kReturn), "ok");
    ASSERT_TRUE(waitEvents(1));
    EXPECT_EQ(events, std::vector<std::string>{"other:" + kReturn});
}
