#include "gt/core/lang/String.h"

#include <gtest/gtest.h>

#include <string>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/Exception.h"
#include "support/Text.h"

using gt::core::Binary;
using gt::core::Char;
using gt::core::String;
using gt::test::utf8;

TEST(StringStorage, CapacityFollowsPowersOfTwoMinusOne) {
    struct Case {
        int reserve;
        int capacity;
    } const cases[] = {{1, 31}, {31, 31}, {32, 63}, {63, 63}, {64, 127}, {1000, 1023}};
    for (auto const& c : cases) {
        String s;
        s.reserve(c.reserve);
        EXPECT_EQ(s.capacity(), c.capacity) << "reserve " << c.reserve;
        EXPECT_EQ(s.length(), 0);
        EXPECT_EQ(s.data()[0], 0);
    }
    String empty;
    EXPECT_EQ(empty.capacity(), 0);
    EXPECT_EQ(empty.data()[0], 0);
}

TEST(StringStorage, ClearKeepsBufferAndShrinkReleasesIt) {
    String s(40, u'x');
    EXPECT_EQ(s.capacity(), 63);
    s.clear();
    EXPECT_EQ(s.capacity(), 63);
    EXPECT_EQ(s.length(), 0);
    s.append(u"abc");
    s.shrink();
    EXPECT_EQ(s.capacity(), 31);
    EXPECT_EQ(s, String(u"abc"));
}

TEST(StringStorage, EmptyStringsNeverWriteTheSharedBuffer) {
    String a, b;
    a.clear();
    a.setLength(0);
    a.resize(0, u'x');
    a.trim();
    a.replace(u'a', u'b');
    a.shrink();
    EXPECT_EQ(a.data(), b.data());
    EXPECT_EQ(b.data()[0], 0);
}

TEST(StringStorage, MoveLeavesSourceEmpty) {
    String a(u"hello");
    Char const* buffer = a.data();
    String b(std::move(a));
    EXPECT_EQ(b.data(), buffer);
    EXPECT_EQ(a.length(), 0);
    EXPECT_EQ(a.capacity(), 0);
    String c(u"x");
    c = std::move(b);
    EXPECT_EQ(c, String(u"hello"));
}

TEST(StringStorage, NegativeAndOversizedRequests) {
    String s(u"abc");
    s.setLength(-5);
    EXPECT_EQ(s.length(), 0);
    EXPECT_EQ(s.data()[0], 0);
    s.resize(-1, u'x');
    EXPECT_EQ(s.length(), 0);
    s.resize(3, u'z');
    EXPECT_EQ(s, String(u"zzz"));
    EXPECT_THROW(s.reserve(0x7FFFFFFF), std::bad_alloc);
    EXPECT_EQ(s, String(u"zzz"));
    EXPECT_THROW(s.append(0x7FFFFFF0, u'a'), std::bad_alloc);
    EXPECT_EQ(s, String(u"zzz"));
}

TEST(StringConstruction, NullPointers) {
    Char const* null = nullptr;
    try {
        String s(null);
        FAIL() << "no exception";
    } catch (gt::core::Exception const& e) {
        EXPECT_EQ(e.message(), String(u"Assigned string with null pointer!"));
    }
    EXPECT_EQ(String(null, 5).length(), 0);
    String s(u"ab");
    s.append(null);
    s += null;
    s.append(null, 3);
    EXPECT_EQ(s, String(u"ab"));
    EXPECT_EQ(s + null, String(u"ab"));
    EXPECT_EQ(null + s, String(u"ab"));
    EXPECT_EQ(String(3, u'q'), String(u"qqq"));
    EXPECT_EQ(String(0, u'q').length(), 0);
}

TEST(StringConstruction, RangesAreClipped) {
    String src(u"abcdef");
    struct Case {
        int position, count;
        char16_t const* expected;
    } const cases[] = {
        {0, 3, u"abc"}, {-5, 2, u"ab"}, {4, 99, u"ef"}, {9, 2, u""}, {2, -1, u""}, {0, 6, u"abcdef"},
    };
    for (auto const& c : cases) {
        EXPECT_EQ(String(src, c.position, c.count), String(c.expected)) << c.position << "," << c.count;
        EXPECT_EQ(src.mid(c.position, c.count), String(c.expected));
    }
}

TEST(StringAliasing, AssignFromOwnData) {
    String s(u"abcdefg");
    s.assign(s.data() + 2, 3);
    EXPECT_EQ(s, String(u"cde"));
}

TEST(StringAliasing, AppendOwnDataAcrossGrowth) {
    String s(31, u'a');
    s[30] = u'b';
    s.append(s.data() + 29, 2);  // the buffer moves while we copy
    EXPECT_EQ(s.length(), 33);
    EXPECT_EQ(s.right(3), String(u"bab"));
    String t(u"xy");
    t.append(t);
    t += t;
    EXPECT_EQ(t, String(u"xyxyxyxy"));
}

TEST(StringAliasing, InsertAndReplaceWithItself) {
    String s(u"abc");
    s.insert(1, s);
    EXPECT_EQ(s, String(u"aabcbc"));
    String r(u"abc");
    r.replace(1, 1, r);
    EXPECT_EQ(r, String(u"aabcc"));
    String g(u"aaa");
    g.replace(String(u"a"), String(u"aa"));
    EXPECT_EQ(g, String(u"aaaaaa"));
}

TEST(StringEdit, InsertRemoveReplaceRanges) {
    struct Case {
        char const* op;
        int position, count;
        char16_t const* expected;
    } const cases[] = {
        {"insert", 99, 0, u"abcdeXY"}, {"insert", -3, 0, u"XYabcde"}, {"insert", 2, 0, u"abXYcde"},
        {"remove", 5, 2, u"abcde"},    {"remove", -3, 2, u"cde"},     {"remove", 1, -1, u"abcde"},
        {"remove", 3, 99, u"abc"},     {"replace", 1, 3, u"aXYe"},    {"replace", 4, 9, u"abcdXY"},
    };
    for (auto const& c : cases) {
        String s(u"abcde");
        String xy(u"XY");
        std::string op = c.op;
        if (op == "insert") s.insert(c.position, xy);
        if (op == "remove") s.remove(c.position, c.count);
        if (op == "replace") s.replace(c.position, c.count, xy);
        EXPECT_EQ(s, String(c.expected)) << op << " " << c.position << "," << c.count;
        EXPECT_EQ(s.data()[s.length()], 0);
    }
}

TEST(StringEdit, RemoveAndReplaceAllOccurrences) {
    String s(u"a--b--c");
    s.remove(String(u"--"));
    EXPECT_EQ(s, String(u"abc"));
    String t(u"abc");
    t.remove(String());
    t.replace(String(), String(u"x"));
    t.replace(String(u"zz"), String(u"x"));
    EXPECT_EQ(t, String(u"abc"));
    String u(u"aaaa");
    u.replace(String(u"aa"), String(u"b"));
    EXPECT_EQ(u, String(u"bb"));
    String v(u"a.b.c");
    v.replace(u'.', u'/');
    EXPECT_EQ(v, String(u"a/b/c"));
}

TEST(StringSearch, PositionsTable) {
    String s(u"abcabc");
    EXPECT_EQ(s.indexOf(String()), 0);
    EXPECT_EQ(s.indexOf(String(u"bc")), 1);
    EXPECT_EQ(s.indexOf(String(u"bc"), 2), 4);
    EXPECT_EQ(s.indexOf(String(u"bc"), -1), -1);
    EXPECT_EQ(s.indexOf(String(u"bc"), 5), -1);
    EXPECT_EQ(s.indexOf(String(u"abcabcd")), -1);
    EXPECT_EQ(s.lastIndexOf(String(u"bc")), 4);
    EXPECT_EQ(s.lastIndexOf(String(u"bc"), 3), 1);
    EXPECT_EQ(s.lastIndexOf(String(u"bc"), 99), 4);
    EXPECT_EQ(s.lastIndexOf(String(u"bc"), -1), -1);
    EXPECT_EQ(s.indexOf(u'c'), 2);
    EXPECT_EQ(s.indexOf(u'c', 3), 5);
    EXPECT_EQ(s.indexOf(u'c', 6), -1);
    EXPECT_EQ(s.indexOf(u'c', -1), -1);
    EXPECT_EQ(String().indexOf(u'c'), -1);
    EXPECT_EQ(s.lastIndexOf(u'c'), 5);
    EXPECT_EQ(String(u"abc").lastIndexOf(u'c', 99), 2);
    EXPECT_EQ(s.lastIndexOf(u'c', 4), 2);
    EXPECT_EQ(s.lastIndexOf(u'c', -1), -1);
}

TEST(StringPieces, SeparatorPresentAndAbsent) {
    String s(u"a\\b\\c");
    EXPECT_EQ(s.before(u'\\'), String(u"a"));
    EXPECT_EQ(s.after(u'\\'), String(u"b\\c"));
    EXPECT_EQ(s.beforeLast(u'\\'), String(u"a\\b"));
    EXPECT_EQ(s.afterLast(u'\\'), String(u"c"));
    EXPECT_EQ(s.before(String(u"\\b")), String(u"a"));
    EXPECT_EQ(s.after(String(u"\\b")), String(u"\\c"));
    String abc(u"abc");
    EXPECT_EQ(abc.before(u'x'), abc);
    EXPECT_EQ(abc.after(u'x'), String());
    EXPECT_EQ(abc.beforeLast(u'x'), abc);
    EXPECT_EQ(abc.afterLast(u'x'), abc);
    EXPECT_EQ(abc.left(2), String(u"ab"));
    EXPECT_EQ(abc.left(9), abc);
    EXPECT_EQ(abc.left(-1), String());
    EXPECT_EQ(abc.right(2), String(u"bc"));
    EXPECT_EQ(abc.right(9), abc);
    EXPECT_EQ(abc.right(0), String());
}

TEST(StringPieces, CuttingInPlace) {
    String path(u"a\\b\\c");
    path.truncateAtLast(u'\\');
    EXPECT_EQ(path, String(u"a\\b"));
    String abc(u"abc");
    String t = abc;
    t.truncateAtLast(u'\\');
    EXPECT_EQ(t, String());
    t = abc;
    t.truncateAt(u'\\');
    EXPECT_EQ(t, abc);
    t = abc;
    t.removeThrough(u'x');
    EXPECT_EQ(t, String());
    t = abc;
    t.removeThroughLast(u'x');
    EXPECT_EQ(t, abc);
    t = String(u"k=v=w");
    t.removeThrough(String(u"="));
    EXPECT_EQ(t, String(u"v=w"));
    t = String(u"k=v=w");
    t.removeThroughLast(u'=');
    EXPECT_EQ(t, String(u"w"));
    t = String(u"k=v=w");
    t.truncateAt(String(u"="));
    EXPECT_EQ(t, String(u"k"));
}

TEST(StringTrim, WhiteSpaceAndUnits) {
    String s(u" \t\r\n x y \v\f");
    s.trim();
    EXPECT_EQ(s, String(u"x y"));
    String l(u"  a ");
    l.trimLeft();
    EXPECT_EQ(l, String(u"a "));
    String r(u"  a ");
    r.trimRight();
    EXPECT_EQ(r, String(u"  a"));
    String z(u"00100");
    z.trim(u'0');
    EXPECT_EQ(z, String(u"1"));
    String nbsp(u"\u00a0a");
    nbsp.trim();
    EXPECT_EQ(nbsp.length(), 2);  // only 9..13 and 32 are white space
}

TEST(StringTrim, ByNeedle) {
    String ab(u"ab");
    String s(u"abab");
    s.trimRight(ab);
    EXPECT_EQ(s, String());
    s = String(u"abab");
    s.trimLeft(ab);
    EXPECT_EQ(s, String());
    String t(u"ab");
    t.trimLeft(String(u"ab"));
    EXPECT_EQ(t, String());
    String self(u"xyz");
    self.trim(self);
    EXPECT_EQ(self, String());
    String mixed(u"abXab");
    mixed.trim(ab);
    EXPECT_EQ(mixed, String(u"X"));
    String partial(u"babab");
    partial.trimLeft(ab);  // no whole leading repeat
    EXPECT_EQ(partial, String(u"babab"));
    String keep(u"abc");
    keep.trim(String());  // an empty needle must terminate and change nothing
    keep.trimLeft(String());
    keep.trimRight(String());
    EXPECT_EQ(keep, String(u"abc"));
}

TEST(StringOrder, LittleEndianByteOrderThenLength) {
    struct Case {
        char16_t const* a;
        char16_t const* b;
        bool less;
    } const cases[] = {
        {u"\u0100", u"\u00ff", true},  // bytes 00 01 before FF 00
        {u"\u4e2d", u"A", true},       // 中 is 2D 4E
        {u"A", u"\u4e2d", false},     {u"ab", u"abc", true}, {u"abc", u"ab", false},
        {u"b", u"abc", false},        {u"", u"a", true},     {u"a", u"a", false},
        {u"\u0201", u"\u0102", true},  // low bytes 01 vs 02 decide first
    };
    for (auto const& c : cases) {
        String a(c.a), b(c.b);
        EXPECT_EQ(a < b, c.less) << utf8(a) << " < " << utf8(b);
        EXPECT_EQ(b > a, c.less);
        EXPECT_EQ(a >= b, !c.less);
    }
    EXPECT_EQ(String(u"ab").compare(String(u"abc")), 0);
    EXPECT_LT(String(u"\u0100").compare(String(u"\u00ff")), 0);
    EXPECT_GT(String(u"b").compare(String(u"a")), 0);
}

TEST(StringOrder, CompareAt) {
    String s(u"hello world");
    EXPECT_EQ(s.compareAt(6, 5, String(u"world")), 0);
    EXPECT_EQ(s.compareAt(6, 3, String(u"worXX")), 0);
    EXPECT_LT(s.compareAt(0, 5, String(u"hellp")), 0);
    EXPECT_EQ(s.compareAt(99, 5, String(u"x")), 0);
    EXPECT_EQ(s.compareAt(0, -1, String(u"x")), 0);
}

TEST(StringConvert, CaseAndBool) {
    EXPECT_EQ(String(u"AbZ\u00c4").toLower(), String(u"abz\u00c4"));
    EXPECT_EQ(String(u"aBz\u00e4").toUpper(), String(u"ABZ\u00e4"));
    struct Case {
        char16_t const* text;
        bool value;
    } const cases[] = {{u"true", true}, {u"TrUe", true}, {u" true", false},
                       {u"1", false},   {u"yes", false}, {u"", false}};
    for (auto const& c : cases)
        EXPECT_EQ(String(c.text).toBool(), c.value) << utf8(String(c.text));
}

TEST(StringConvert, IntegerParsesSaturate) {
    struct Case {
        char16_t const* text;
        int value;
        short value16;
        long long value64;
    } const cases[] = {
        {u"  -12xyz", -12, -12, -12},
        {u"abc", 0, 0, 0},
        {u"99999999999", 2147483647, -1, 99999999999LL},
        {u"-99999999999", -2147483647 - 1, 0, -99999999999LL},
        {u"+42", 42, 42, 42},
        {u"70000", 70000, 4464, 70000},
        {u"\t\n7", 7, 7, 7},
        {u"99999999999999999999", 2147483647, -1, 9223372036854775807LL},
        {u"-9223372036854775808", -2147483647 - 1, 0, -9223372036854775807LL - 1},
        {u"- 5", 0, 0, 0},
    };
    for (auto const& c : cases) {
        String s(c.text);
        EXPECT_EQ(s.toInt(), c.value) << utf8(s);
        EXPECT_EQ(s.toInt16(), c.value16) << utf8(s);
        EXPECT_EQ(s.toInt64(), c.value64) << utf8(s);
    }
    EXPECT_EQ(String(u"300").toInt8(), 44);
}

TEST(StringConvert, ToBinaryStopsAtNul) {
    EXPECT_EQ(String().toBinary().length(), 0);
    Char const text[] = {u'a', 0, u'b'};
    String s(text, 3);
    EXPECT_EQ(s.length(), 3);
    EXPECT_EQ(utf8(s), "a");
    EXPECT_EQ(std::string(s.toOem().data()), "a");
}

TEST(StringIndex, OutOfRangeThrowsWithMessage) {
    String s(u"abc");
    EXPECT_EQ(s[2], u'c');
    try {
        s[3];
        FAIL() << "no exception";
    } catch (gt::core::OutOfRangeException const& e) {
        EXPECT_EQ(e.message(), String(u"OutOfRangeException. Index 3 out of range [0, 3)"));
    }
    EXPECT_THROW(s[-1], gt::core::OutOfRangeException);
}

TEST(StringConcat, OperatorsAndChains) {
    String a(u"ab");
    String r = a + u"cd" + a + u'!';
    EXPECT_EQ(r, String(u"abcdab!"));
    EXPECT_EQ(u"x" + a, String(u"xab"));
    EXPECT_EQ(a + String(), a);
    EXPECT_EQ((String() + String()).capacity(), 0);
    EXPECT_GE((a + u"").capacity(), a.length() + 32);
}
