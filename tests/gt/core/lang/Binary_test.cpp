#include "gt/core/lang/Binary.h"

#include <gtest/gtest.h>

#include <string>

#include "gt/core/lang/Exception.h"
#include "support/Text.h"

using gt::core::Binary;
using gt::core::String;
using gt::test::bytes;

TEST(BinaryStorage, CapacityAndEmptyForms) {
    Binary b;
    EXPECT_EQ(b.capacity(), 0);
    b.reserve(31);
    EXPECT_EQ(b.capacity(), 31);
    b.reserve(32);
    EXPECT_EQ(b.capacity(), 63);
    char const* null = nullptr;
    int zero = 0;
    EXPECT_EQ(Binary("abc", zero).length(), 0);
    EXPECT_EQ(Binary(null, 5).length(), 0);
    EXPECT_EQ(Binary(null).length(), 0);
    EXPECT_EQ(Binary(-1, 'x').length(), 0);
    EXPECT_EQ(&Binary::emptyBinary(), &Binary::emptyBinary());
    Binary n(null);
    n.append(null);
    n += null;
    EXPECT_EQ(n.length(), 0);
}

TEST(BinaryStorage, HoldsZerosAndKeepsTrailingNul) {
    Binary b("a\0b", 3);
    EXPECT_EQ(b.length(), 3);
    EXPECT_EQ(b.data()[3], 0);
    b.append(4, '\0');
    EXPECT_EQ(b.length(), 7);
    EXPECT_EQ(b.data()[7], 0);
    b.resize(9, 'z');
    EXPECT_EQ(bytes(b).substr(7), "zz");
}

TEST(BinaryEdit, RangeRules) {
    Binary b("abcde");
    b.remove(5, 2);
    EXPECT_EQ(bytes(b), "abcde");
    b.remove(-3, 2);
    EXPECT_EQ(bytes(b), "cde");
    b.insert(99, Binary("XY"));
    EXPECT_EQ(bytes(b), "cdeXY");
    Binary r("aaa");
    r.replace(Binary("a"), Binary("aa"));
    EXPECT_EQ(bytes(r), "aaaaaa");
    r.remove(Binary("aaaa"));
    EXPECT_EQ(bytes(r), "aa");
    Binary self("xy");
    self.insert(1, self);
    EXPECT_EQ(bytes(self), "xxyy");
    Binary own("abcdefg");
    own.assign(own.data() + 2, 3);
    EXPECT_EQ(bytes(own), "cde");
}

TEST(BinarySearch, Positions) {
    Binary b("abcabc");
    EXPECT_EQ(b.indexOf('c', 6), -1);
    EXPECT_EQ(b.indexOf('c', 3), 5);
    EXPECT_EQ(b.lastIndexOf('a', 99), 3);
    EXPECT_EQ(b.indexOf(Binary("ca")), 2);
    EXPECT_EQ(b.indexOf(Binary()), 0);
    EXPECT_EQ(b.lastIndexOf(Binary("bc")), 4);
    EXPECT_EQ(b.indexOf(Binary("bc"), -1), -1);
    EXPECT_EQ(bytes(b.mid(1, 2)), "bc");
    EXPECT_EQ(bytes(b.left(2)), "ab");
    EXPECT_EQ(bytes(b.right(2)), "bc");
}

TEST(BinaryCompare, UnsignedBytesThenLength) {
    EXPECT_TRUE(Binary("\x01", 1) < Binary("\xff", 1));
    EXPECT_TRUE(Binary("ab") < Binary("abc"));
    EXPECT_FALSE(Binary("b") < Binary("abc"));
    EXPECT_TRUE(Binary("ab") == Binary("ab"));
    EXPECT_TRUE(Binary("ab") != Binary("ab\0", 3));
}

TEST(BinaryCopy, CopyToChecksRoom) {
    Binary b("hello");
    char out[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
    EXPECT_FALSE(b.copyTo(out, 4));
    EXPECT_EQ(out[0], '#');
    EXPECT_FALSE(b.copyTo(nullptr, 10));
    EXPECT_TRUE(b.copyTo(out, 5));
    EXPECT_EQ(std::string(out, 5), "hello");
}

TEST(BinaryDecode, Utf8AndAnsi) {
    EXPECT_EQ(Binary("\xEF\xBB\xBF\x41").utf8ToString(), String(u"A"));
    EXPECT_EQ(Binary("\xEF\xBB\xBF").utf8ToString(), String());
    // The whole byte range: a zero byte is one more character, not the end.
    EXPECT_EQ(Binary("A\0B", 3).utf8ToString(), String(u"A\0B", 3));
    EXPECT_EQ(Binary("\0", 1).utf8ToString(), String(u"\0", 1));
    EXPECT_EQ(Binary("\xE4\xB8\0\xAD", 4).utf8ToString(), String(u"\uFFFD\0\uFFFD", 3));
    String out(u"old");
    Binary("x\0", 2).utf8ToString(out);
    EXPECT_EQ(out, String(u"x\0", 2));
    EXPECT_EQ(Binary("A\0B", 3).ansiToString(), String(u"A"));
    EXPECT_EQ(Binary("\xEF\xBB\xBF\x41").ansiToString().length(), 2);  // mark kept as U+FEFF
    EXPECT_EQ(Binary("\xE4\xB8\xAD").utf8ToString(), String(u"\u4e2d"));
}

TEST(BinaryConcat, Operators) {
    Binary a("ab");
    EXPECT_EQ(bytes(a + "cd" + a), "abcdab");
    EXPECT_EQ(bytes("x" + a), "xab");
    EXPECT_THROW(a[2], gt::core::OutOfRangeException);
}
