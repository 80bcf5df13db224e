#include "gt/net/socket/IpAddress.h"

#include <gtest/gtest.h>

#include "gt/core/util/Array.h"
#include "gt/net/socket/SocketAddress.h"
#include "support/Text.h"

using gt::core::String;
using gt::net::IpAddress;
using gt::net::SocketAddress;
using gt::test::text;

namespace {

TEST(IpAddressTest, ParsesWhatTheResolverAccepts) {
    struct Case {
        char const* text;
        unsigned value;
    } const cases[] = {
        {"1.2.3.4", 0x01020304u},
        {"10.0.0.1", 0x0A000001u},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"127.1", 0x7F000001u},  // short forms the classic parser reads
        {"0x7f.0.0.1", 0x7F000001u},
        {"300.1.1.1", 0},
        {"", 0},
        {"abc", 0},
        {"1.2.3.4.5", 0},
    };
    for (Case const& c : cases) {
        EXPECT_EQ(IpAddress(text(c.text)).value(), c.value) << c.text;
    }
}

TEST(IpAddressTest, TextWithNulIsRefused) {
    String text(u"1.2.3.4");
    text.append(u'\0');
    text.append(u"junk");
    EXPECT_TRUE(IpAddress(text).isNone());
}

TEST(IpAddressTest, DottedQuadIsStrict) {
    struct Case {
        char const* text;
        bool expected;
    } const cases[] = {
        {"1.2.3.4", true},   {"0.0.0.0", true},   {"255.255.255.255", true}, {"1.2.3.4.5", false},
        {"1.2.3", false},    {"01.2.3.4", false}, {"1.2.3.256", false},      {" 1.2.3.4", false},
        {"1.2.3.4 ", false}, {"+1.2.3.4", false}, {"-1.2.3.4", false},       {"1..3.4", false},
        {"1.2.3.", false},   {"", false},         {"a.b.c.d", false},        {"4294967297.0.0.1", false},
    };
    for (Case const& c : cases) {
        EXPECT_EQ(IpAddress::isDottedQuad(text(c.text)), c.expected) << c.text;
    }
}

TEST(IpAddressTest, PrintsDottedQuad) {
    EXPECT_EQ(IpAddress(0x0A000001u).toString(), text("10.0.0.1"));
    EXPECT_EQ(IpAddress().toString(), text("0.0.0.0"));
    EXPECT_EQ(IpAddress(0xFFFFFFFFu).toString(), text("255.255.255.255"));
}

TEST(IpAddressTest, ResolveGivesEachAddressOnce) {
    gt::core::Array<IpAddress> all = IpAddress::resolve(text("localhost"));
    ASSERT_GE(all.count(), 1);
    int loopback = 0;
    for (int i = 0; i < all.count(); ++i) {
        if (all[i] == IpAddress(0x7F000001u)) ++loopback;
        for (int j = i + 1; j < all.count(); ++j)
            EXPECT_NE(all[i], all[j]);
    }
    EXPECT_EQ(loopback, 1);
}

TEST(IpAddressTest, ResolveOfNothingIsEmpty) {
    String withNul(u"local");
    withNul.append(u'\0');
    EXPECT_EQ(IpAddress::resolve(String()).count(), 0);
    EXPECT_EQ(IpAddress::resolve(withNul).count(), 0);
    EXPECT_TRUE(IpAddress::resolveFirst(String()).isNone());
}

TEST(IpAddressTest, LookupNameOfSpecialAddressesIsEmpty) {
    EXPECT_TRUE(IpAddress::lookupName(IpAddress()).isEmpty());
    EXPECT_TRUE(IpAddress::lookupName(IpAddress(0xFFFFFFFFu)).isEmpty());
}

TEST(SocketAddressTest, PrintsAddressAndPort) {
    EXPECT_EQ(SocketAddress(IpAddress(0x0A000001u), 8080).toString(), text("10.0.0.1:8080"));
    EXPECT_EQ(SocketAddress(IpAddress(0x0A000001u), 65535).toString(), text("10.0.0.1:65535"));
    EXPECT_EQ(SocketAddress::none().toString(), text("0.0.0.0:0"));
}

TEST(SocketAddressTest, ParsesHostAndPort) {
    struct Case {
        char const* text;
        unsigned address;
        unsigned short port;
    } const cases[] = {
        {"loopback:8080", 0x7F000001u, 8080},
        {"LoopBack", 0x7F000001u, 0},
        {"LOOPBACK:1", 0x7F000001u, 1},
        {"1.2.3.4", 0x01020304u, 0},
        {"1.2.3.4:abc", 0x01020304u, 0},
        {"1.2.3.4:1:2", 0x01020304u, 1},
        {"1.2.3.4:", 0x01020304u, 0},
        {"1.2.3.4:65535", 0x01020304u, 65535},
        {"1.2.3.4:65536", 0x01020304u, 0},  // out of range: 0, never a wrapped port
        {"1.2.3.4:70000", 0x01020304u, 0},
        {"1.2.3.4:-1", 0x01020304u, 0},
        {"1.2.3.4:99999999999", 0x01020304u, 0},
        {":80", 0, 80},
    };
    for (Case const& c : cases) {
        SocketAddress parsed = gt::net::parseSocketAddress(text(c.text));
        EXPECT_EQ(parsed.address().value(), c.address) << c.text;
        EXPECT_EQ(parsed.port(), c.port) << c.text;
    }
}

TEST(SocketAddressTest, HostNameIsKnown) { EXPECT_FALSE(gt::net::hostName().isEmpty()); }

}  // namespace
