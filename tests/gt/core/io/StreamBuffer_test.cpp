#include "gt/core/io/StreamBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/Text.h"

using gt::core::Binary;
using gt::core::StreamBuffer;
using gt::test::bytes;

namespace {

std::string unread(StreamBuffer const& b) {
    return std::string(b.data(), static_cast<size_t>(b.available()));
}
}  // namespace

TEST(StreamBuffer, AppendRespectsTheLimit) {
    StreamBuffer b(10, 0);
    EXPECT_TRUE(b.append(Binary("abcdef")));
    EXPECT_FALSE(b.append(Binary("ghijk")));
    EXPECT_EQ(unread(b), "abcdef");
    b.skip(6);
    EXPECT_TRUE(b.isEmpty());
    EXPECT_TRUE(b.append(Binary("ghijk")));
    EXPECT_EQ(unread(b), "ghijk");
}

TEST(StreamBuffer, AppendCompactsWhenOnlyTheConsumedPartIsInTheWay) {
    for (int threshold : {0, 1 << 20}) {
        StreamBuffer b(10, threshold);
        ASSERT_TRUE(b.append(Binary("abcdef")));
        b.skip(4);
        EXPECT_TRUE(b.append(Binary("12345678")));
        EXPECT_EQ(unread(b), "ef12345678");
        EXPECT_FALSE(b.append(Binary("x")));
        b.skip(1);
        EXPECT_TRUE(b.append(Binary("x")));
        EXPECT_EQ(unread(b), "f12345678x") << threshold;
    }
}

TEST(StreamBuffer, ZeroOrNegativeLimitTakesOnlyEmptyAppends) {
    for (int limit : {0, -5}) {
        StreamBuffer b(limit, -1);
        EXPECT_FALSE(b.append(Binary("a")));
        EXPECT_TRUE(b.append(Binary()));
        EXPECT_TRUE(b.isEmpty());
    }
}

TEST(StreamBuffer, LargeLimitSumsSizesWithoutWrapping) {
    StreamBuffer b(2147483647, 0);
    ASSERT_TRUE(b.append(Binary("abc")));
    EXPECT_TRUE(b.append(Binary("def")));
    EXPECT_EQ(unread(b), "abcdef");
}

TEST(StreamBuffer, PeekAndReadArguments) {
    StreamBuffer b(100, 0);
    Binary out("keep");
    EXPECT_FALSE(b.peek(nullptr, 1));
    EXPECT_FALSE(b.peek(&out, 1));  // nothing unread
    EXPECT_EQ(bytes(out), "keep");
    EXPECT_FALSE(b.read(&out, 3));
    EXPECT_EQ(bytes(out), "keep");
    EXPECT_TRUE(b.peek(&out, 0));
    EXPECT_TRUE(out.isEmpty());

    ASSERT_TRUE(b.append(Binary("hello world")));
    EXPECT_FALSE(b.peek(&out, -1));
    EXPECT_TRUE(b.peek(&out, 5));
    EXPECT_EQ(bytes(out), "hello");
    EXPECT_EQ(b.available(), 11);
    EXPECT_TRUE(b.read(&out, 6));
    EXPECT_EQ(bytes(out), "hello ");
    EXPECT_EQ(unread(b), "world");
    EXPECT_TRUE(b.read(&out, 99));
    EXPECT_EQ(bytes(out), "world");
    EXPECT_TRUE(b.isEmpty());
    EXPECT_EQ(b.available(), 0);
}

TEST(StreamBuffer, SkipCases) {
    struct Case {
        int n;
        char const* left;
    } cases[] = {{0, "abcdef"}, {-3, "abcdef"}, {2, "cdef"}, {6, ""}, {100, ""}};
    for (Case const& c : cases) {
        StreamBuffer b(100, 0);
        ASSERT_TRUE(b.append(Binary("abcdef")));
        b.skip(c.n);
        EXPECT_EQ(unread(b), c.left) << c.n;
        // After everything is consumed the buffer starts over at position 0.
        if (b.isEmpty()) {
            EXPECT_TRUE(b.append(Binary("0123456789")));
            EXPECT_EQ(unread(b), "0123456789");
        }
    }
}

TEST(StreamBuffer, DropTailCases) {
    struct Case {
        int n;
        char const* left;
    } cases[] = {{0, "cdefghij"}, {-1, "cdefghij"}, {-2147483647 - 1, "cdefghij"}, {4, "cdef"}, {7, "c"},
                 {8, ""},         {50, ""}};
    for (Case const& c : cases) {
        StreamBuffer b(100, 0);
        ASSERT_TRUE(b.append(Binary("abcdefghij")));
        b.skip(2);
        b.dropTail(c.n);
        EXPECT_EQ(unread(b), c.left) << c.n;
        EXPECT_EQ(b.available(), static_cast<int>(std::string(c.left).size()));
    }
}

TEST(StreamBuffer, DropTailAfterAppendTakesBackTheNewestBytes) {
    StreamBuffer b(10, 0);
    ASSERT_TRUE(b.append(Binary("0123456789")));
    b.dropTail(4);
    EXPECT_EQ(unread(b), "012345");
    EXPECT_TRUE(b.append(Binary("abcd")));
    EXPECT_EQ(unread(b), "012345abcd");
}

TEST(StreamBuffer, ClearAndCompactKeepTheUnreadBytes) {
    StreamBuffer b(1000, 16);
    ASSERT_TRUE(b.append(Binary(200, 'x')));
    ASSERT_TRUE(b.append(Binary("tail")));
    b.skip(200);
    b.compact();
    EXPECT_EQ(unread(b), "tail");
    b.compact();
    EXPECT_EQ(unread(b), "tail");
    b.clear();
    EXPECT_TRUE(b.isEmpty());
    EXPECT_TRUE(b.append(Binary("again")));
    EXPECT_EQ(unread(b), "again");
}

TEST(StreamBuffer, FillingTheTailInPlace) {
    StreamBuffer b(10, 0);
    // Refused: nothing asked, or more than the limit leaves room for.
    EXPECT_EQ(b.prepareTail(0), nullptr);
    EXPECT_EQ(b.prepareTail(11), nullptr);
    char* tail = b.prepareTail(6);
    ASSERT_NE(tail, nullptr);
    std::memcpy(tail, "abcdef", 6);
    b.commitTail(4);  // fewer bytes came than there was room for
    EXPECT_EQ(unread(b), "abcd");
    EXPECT_EQ(b.prepareTail(7), nullptr);  // 4 unread + 7 > 10

    // The consumed bytes make way; the unread ones keep their order.
    b.skip(3);
    tail = b.prepareTail(9);
    ASSERT_NE(tail, nullptr);
    std::memcpy(tail, "123456789", 9);
    b.commitTail(9);
    EXPECT_EQ(unread(b), "d123456789");
    EXPECT_EQ(b.prepareTail(1), nullptr);
    b.commitTail(0);
    EXPECT_EQ(unread(b), "d123456789");

    // Appends and in-place fills mix.
    b.skip(8);
    EXPECT_TRUE(b.append(Binary("xy")));
    tail = b.prepareTail(2);
    ASSERT_NE(tail, nullptr);
    std::memcpy(tail, "zz", 2);
    b.commitTail(2);
    EXPECT_EQ(unread(b), "89xyzz");
}
