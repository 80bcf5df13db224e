#include "gt/net/channel/SizeHeaderCapsulator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Text.h"

using gt::core::Binary;
using gt::core::StreamBuffer;
using gt::net::SizeHeaderCapsulator;
using gt::test::bin;
using gt::test::bytes;

namespace {
std::string frame(std::string const& body) {
    unsigned n = static_cast<unsigned>(body.size() + 4);
    std::string out;
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((n >> (8 * i)) & 0xFF);
    return out + body;
}
std::vector<std::string> drain(SizeHeaderCapsulator& c) {
    std::vector<std::string> out;
    Binary body;
    while (c.decapsulate(&body))
        out.push_back(bytes(body));
    return out;
}
}  // namespace

TEST(SizeHeaderCapsulator, FramesSplitAtEveryPosition) {
    std::string const stream = frame("ABCD") + frame("") + frame(std::string(300, 'z')) + frame("q");
    std::vector<std::string> const expected = {"ABCD", "", std::string(300, 'z'), "q"};
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        StreamBuffer sb(1 << 20, 1024);
        SizeHeaderCapsulator c(&sb);
        ASSERT_TRUE(sb.append(bin(stream.substr(0, cut))));
        std::vector<std::string> got = drain(c);
        ASSERT_TRUE(sb.append(bin(stream.substr(cut))));
        std::vector<std::string> rest = drain(c);
        got.insert(got.end(), rest.begin(), rest.end());
        EXPECT_EQ(got, expected) << "cut at " << cut;
        EXPECT_TRUE(sb.isEmpty());
    }
}

TEST(SizeHeaderCapsulator, SizeBelowFourIsNeverConsumed) {
    for (int size : {0, 1, 2, 3, -1, -2147483647 - 1}) {
        StreamBuffer sb(1024, 0);
        SizeHeaderCapsulator c(&sb);
        std::string header(4, '\0');
        for (int i = 0; i < 4; ++i)
            header[i] = static_cast<char>((static_cast<unsigned>(size) >> (8 * i)) & 0xFF);
        EXPECT_FALSE(c.hasBadHeader());
        sb.append(bin(header.substr(0, 3)));
        EXPECT_FALSE(c.hasBadHeader());
        sb.append(bin(header.substr(3) + "abcdefgh"));
        Binary body;
        EXPECT_FALSE(c.decapsulate(&body)) << size;
        EXPECT_TRUE(c.hasBadHeader()) << size;
        EXPECT_EQ(sb.available(), 12);
    }
}

TEST(SizeHeaderCapsulator, EncapsulateWritesSizeAndTakesItBackWhenTheBodyDoesNotFit) {
    StreamBuffer sb(10, 0);
    SizeHeaderCapsulator c(&sb);
    EXPECT_TRUE(c.encapsulate(Binary()));
    EXPECT_EQ(sb.available(), 4);
    EXPECT_EQ(std::string(sb.data(), 4), std::string("\x04\0\0\0", 4));
    EXPECT_FALSE(c.encapsulate(Binary("abc")));  // header fits (8), body does not (11)
    EXPECT_EQ(sb.available(), 4);
    EXPECT_FALSE(c.encapsulate(Binary("abcdefgh")));
    EXPECT_EQ(sb.available(), 4);
    EXPECT_TRUE(c.encapsulate(Binary("ab")));
    std::vector<std::string> got = drain(c);
    EXPECT_EQ(got, (std::vector<std::string>{"", "ab"}));
}
