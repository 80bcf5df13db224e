#include "gt/net/channel/SizeHeaderTcpSocketChannel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gt/net/SocketEventSelector.h"
#include "support/Loopback.h"
#include "support/Pump.h"
#include "support/Text.h"

using gt::core::Binary;
using gt::net::SizeHeaderTcpSocketChannel;
using gt::test::bin;

namespace {
// A framed channel on the server side of a loopback pair; the test writes raw
// bytes from the blocking client side.
struct FramedPair : ::testing::Test {
    gt::test::ConnectedPair pair;
    gt::net::SocketEventSelector selector{1000};
    std::unique_ptr<SizeHeaderTcpSocketChannel> channel;
    std::vector<std::string> packets;
    bool closed = false;

    void open(int limit = 1 << 20) {
        channel.reset(new SizeHeaderTcpSocketChannel(&pair.server, &selector, limit, 1024));
        channel->onPacket = [this](Binary& b) {
            packets.emplace_back(b.data(), static_cast<size_t>(b.length()));
        };
        channel->onClosed = [this] { closed = true; };
    }
    void write(std::string const& bytes) {
        ASSERT_EQ(pair.client.send(bin(bytes), 0, static_cast<int>(bytes.size())),
                  static_cast<int>(bytes.size()));
    }
    bool pumpUntil(std::function<bool()> const& done) { return gt::test::pumpUntil(selector, done); }
    std::string readClient(size_t n) {
        std::string out;
        Binary buffer(static_cast<int>(n), '\0');
        while (out.size() < n) {
            selector.poll(5);
            if (!pair.client.wait(true, false, false, 10)) continue;
            int got = pair.client.recv(buffer, 0, static_cast<int>(n - out.size()));
            if (got <= 0) break;
            out.append(buffer.data(), static_cast<size_t>(got));
        }
        return out;
    }
};
}  // namespace

TEST_F(FramedPair, FrameArrivingInTwoReadsIsDeliveredOnce) {
    open();
    write(std::string("\x08\0\0", 3));
    selector.poll(20);
    EXPECT_TRUE(packets.empty());
    write(std::string("\0ABCD", 5));
    ASSERT_TRUE(pumpUntil([this] { return !packets.empty(); }));
    EXPECT_EQ(packets, std::vector<std::string>{"ABCD"});
}

TEST_F(FramedPair, SeveralFramesInOneReadAndEmptyFramesDropped) {
    open();
    write(std::string("\x05\0\0\0a\x04\0\0\0\x06\0\0\0bc\x05\0\0\0d", 20));
    ASSERT_TRUE(pumpUntil([this] { return packets.size() >= 3; }));
    EXPECT_EQ(packets, (std::vector<std::string>{"a", "bc", "d"}));
    EXPECT_FALSE(closed);
}

TEST_F(FramedPair, SizeBelowFourClosesAtOnce) {
    open();
    write(std::string("\x05\0\0\0a\x02\0\0\0xyz", 12));
    ASSERT_TRUE(pumpUntil([this] { return closed; }));
    EXPECT_EQ(packets, std::vector<std::string>{"a"});
}

TEST_F(FramedPair, OverfullStreamOrOversizedFrameCloses) {
    open(64);
    write(std::string("\x41\0\0\0", 4));  // 65 bytes can never fit a 64-byte stream
    ASSERT_TRUE(pumpUntil([this] { return closed; }));
}

TEST_F(FramedPair, SendWritesSizeHeaders) {
    open();
    EXPECT_TRUE(channel->send(Binary()));
    EXPECT_TRUE(channel->send(Binary("hi")));
    EXPECT_EQ(readClient(10), std::string("\x04\0\0\0\x06\0\0\0hi", 10));
}
