#include "tunnel/client/ProtocolChannel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/TestRelay.h"
#include "support/Text.h"

using gt::core::Binary;
using gt::core::Dictionary;
using namespace gt::test;
using gt::test::TestRelay;

namespace {
// A protocol channel on a connection to the relay double, recording what it delivers.
struct ChannelFixture : ::testing::Test {
    TestRelay relay;
    gt::net::SocketEventSelector selector{1000};
    std::unique_ptr<tunnel::ProtocolChannel> channel;
    std::vector<std::string> delivered;  // "d:<key>=<hex>,..." or "g:<hex>"
    bool closed = false;

    void SetUp() override {
        gt::net::Socket socket = connectTo(relay.port());
        ASSERT_EQ(relay.command("wait conns 1"), "ok");
        channel.reset(new tunnel::ProtocolChannel(&socket, &selector));
        channel->onDictionary = [this](Dictionary<Binary>& d) {
            std::string text = "d:";
            for (auto const& e : d)
                text += hex(e.first.toBinary()) + "=" + hex(e.second) + ",";
            delivered.push_back(text);
        };
        channel->onDatagram = [this](Binary& g) { delivered.push_back("g:" + hex(g)); };
        channel->onClosed = [this] { closed = true; };
    }

    // Sends frame bodies from the relay, then a marker datagram, and waits for the marker.
    std::vector<std::string> deliver(std::vector<std::string> const& bodies) {
        delivered.clear();
        for (auto const& body : bodies)
            EXPECT_EQ(relay.command("frame 0 " + (body.empty() ? "-" : body)), "ok");
        EXPECT_EQ(relay.command("datagram 0 ff"), "ok");
        EXPECT_TRUE(pumpUntil(selector, [this] { return !delivered.empty() && delivered.back() == "g:ff"; }));
        delivered.pop_back();
        return delivered;
    }
};

std::string const kPingDict =
    "6d6574686f6400"
    "04000000"
    "70696e67";  // {"method": "ping"}
}  // namespace

TEST_F(ChannelFixture, DeliversOnlyWellFormedBodies) {
    struct Case {
        char const* name;
        std::string body;
        std::vector<std::string> expected;
    } const cases[] = {
        {"dictionary", "0101" + kPingDict, {"d:6d6574686f64=70696e67,"}},
        {"empty dictionary", "0101", {}},
        {"empty datagram", "0102", {"g:"}},
        {"datagram", "0102050100", {"g:050100"}},
        {"wrong version", "0201" + kPingDict, {}},
        {"unknown kind", "0103" + kPingDict, {}},
        {"one byte", "01", {}},
        {"truncated dictionary", "0101" + kPingDict.substr(0, kPingDict.size() - 2), {}},
        {"dictionary with a cut second entry", "0101" + kPingDict + "6100ff", {}},
    };
    for (auto const& c : cases)
        EXPECT_EQ(deliver({c.body}), c.expected) << c.name;
    EXPECT_FALSE(closed);
}

TEST_F(ChannelFixture, SendsVersionAndKindPrefixes) {
    Dictionary<Binary> call;
    call.set(u"@", Binary("call"));
    EXPECT_TRUE(channel->sendDictionary(call));
    EXPECT_TRUE(channel->sendDatagram(unhex("0307")));
    EXPECT_TRUE(channel->sendDatagram(Binary()));
    ASSERT_TRUE(pumpUntil(selector, [this] { return relay.command("wait frames 0 3 0") == "ok"; }));
    EXPECT_EQ(relay.frames(0), (std::vector<std::string>{"010140000400000063616c6c", "01020307", "0102"}));
}

TEST_F(ChannelFixture, SizeBelowFourClosesAtOnce) {
    EXPECT_EQ(relay.command("raw 0 02000000"), "ok");
    EXPECT_TRUE(pumpUntil(selector, [this] { return closed; }));
    EXPECT_EQ(relay.command("wait closed 0"), "ok");
}

TEST_F(ChannelFixture, FrameLargerThanTheLimitClosesAtOnce) {
    // 0x00A00001 = one byte more than the 10 MiB receive limit.
    EXPECT_EQ(relay.command("raw 0 0100a000"), "ok");
    EXPECT_TRUE(pumpUntil(selector, [this] { return closed; }));
}

TEST_F(ChannelFixture, FramesSplitAcrossReadsAreReassembled) {
    // The 16-byte {"@": "call"} frame, cut at every position.
    std::string const frame = "10000000010140000400000063616c6c";
    for (size_t cut = 2; cut < frame.size(); cut += 2) {
        delivered.clear();
        EXPECT_EQ(relay.command("raw 0 " + frame.substr(0, cut)), "ok");
        selector.poll(5);
        EXPECT_TRUE(delivered.empty()) << cut;
        EXPECT_EQ(relay.command("raw 0 " + frame.substr(cut)), "ok");
        EXPECT_TRUE(pumpUntil(selector, [this] { return !delivered.empty(); })) << cut;
        EXPECT_EQ(delivered, (std::vector<std::string>{"d:40=63616c6c,"})) << cut;
    }
}

TEST_F(ChannelFixture, FrameThatDoesNotFitIsNotQueuedInPart) {
    // A refused send must leave no size field behind, or every later frame
    // is read at the wrong place.
    channel->setSendQueueLimit(10);
    EXPECT_FALSE(channel->sendDatagram(Binary(20, 'x')));
    Dictionary<Binary> big;
    big.set(u"k", Binary(20, 'y'));
    EXPECT_FALSE(channel->sendDictionary(big));
    EXPECT_FALSE(channel->send(Binary(20, 'z')));
    channel->setSendQueueLimit(-1);
    EXPECT_TRUE(channel->sendDatagram(unhex("0307")));
    ASSERT_TRUE(pumpUntil(selector, [this] { return relay.command("wait frames 0 1 0") == "ok"; }));
    selector.poll(20);
    EXPECT_EQ(relay.frames(0), (std::vector<std::string>{"01020307"}));
    EXPECT_FALSE(closed);
}
