#include "gt/core/util/Memory.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace gt::core;

TEST(Memory, FindAndCompare) {
    char const hello[] = "hello";
    struct Case {
        void const* haystack;
        int haystackLength;
        void const* needle;
        int needleLength;
        int result;
    } const cases[] = {
        {hello, 5, "lo", 2, 3},     {hello, 5, "l", 1, 2},    {hello, 5, "", 0, 0},
        {hello, -1, "lo", 2, -1},   {hello, 5, "lo", -1, -1}, {nullptr, 5, "lo", 2, -1},
        {hello, 5, nullptr, 0, -1}, {hello, 5, "xyz", 3, -1}, {hello, 1, "hello", 5, -1},
        {hello, 5, "hello", 5, 0},  {hello, 4, "lo", 2, -1},  {"aaab", 4, "aab", 3, 1},
    };
    for (Case const& c : cases)
        EXPECT_EQ(memFind(c.haystack, c.haystackLength, c.needle, c.needleLength), c.result)
            << static_cast<char const*>(c.needle ? c.needle : "(null)");

    EXPECT_EQ(commonPrefixLength("abcd", "abxy", 4), 2);
    EXPECT_EQ(commonPrefixLength("abcd", "abcd", 3), 3);
    EXPECT_EQ(commonPrefixLength("abcd", "abcd", 0), 0);
    EXPECT_EQ(commonPrefixLength("abcd", "abcd", -2), -2);
    EXPECT_EQ(commonPrefixLength(nullptr, "abcd", 4), 0);
    EXPECT_EQ(commonPrefixLength("abcd", nullptr, 4), 0);

    EXPECT_LT(memCompare("abc", "abd", 3), 0);
    EXPECT_EQ(memCompare("abc", "abd", 2), 0);
    EXPECT_EQ(memCompare(nullptr, "abd", 3), 0);
    EXPECT_EQ(memCompare("abc", "abd", -1), 0);
}

TEST(Memory, FillZeroMoveIgnoreBadArguments) {
    char buffer[8] = "abcdefg";
    EXPECT_EQ(memFill(buffer, 0x178, 3), buffer);  // low 8 bits only
    EXPECT_EQ(std::memcmp(buffer, "xxxdefg", 8), 0);
    EXPECT_EQ(memFill(nullptr, 'x', 3), nullptr);
    memFill(buffer, 'y', -1);
    memZero(buffer, 2);
    EXPECT_EQ(std::memcmp(buffer, "\0\0xdefg", 8), 0);
    memZero(nullptr, 2);
    memZero(buffer, 0);

    char overlap[] = "123456";
    EXPECT_EQ(memMove(overlap + 1, overlap, 4), overlap + 1);
    EXPECT_STREQ(overlap, "112346");
    EXPECT_EQ(memMove(overlap, nullptr, 4), overlap);
    memMove(nullptr, overlap, 4);
    memMove(overlap, "zz", 0);
    EXPECT_STREQ(overlap, "112346");
}
