#include <gtest/gtest.h>

#include <climits>

#include "gt/core/util/BinaryScanner.h"
#include "gt/core/util/StringScanner.h"

using gt::core::Binary;
using gt::core::BinaryScanner;
using gt::core::Char;
using gt::core::Set;
using gt::core::String;
using gt::core::StringScanner;

TEST(StringScanner, ReadUntilACharacter) {
    String const text(u"host:8080");
    StringScanner scanner(text);
    EXPECT_EQ(scanner.readUntil(u':', false), String(u"host"));
    EXPECT_EQ(scanner.remaining(), String(u"8080"));
    EXPECT_EQ(scanner.position(), 5);

    StringScanner stop(text);
    EXPECT_EQ(stop.readUntil(u':', true), String(u"host"));
    EXPECT_EQ(stop.position(), 4);
    EXPECT_EQ(stop.readUntil(u':', true), String());  // stays on the ':'
    EXPECT_EQ(stop.position(), 4);

    StringScanner missing(text);
    EXPECT_EQ(missing.readUntil(u'/', false), text);
    EXPECT_TRUE(missing.isEnd());
    EXPECT_EQ(missing.read(3), String());
    EXPECT_EQ(missing.readUntil(u':', false), String());
}

TEST(StringScanner, ReadUntilAText) {
    String const text(u"a::b::c");
    StringScanner scanner(text);
    EXPECT_EQ(scanner.indexOf(String(u"::")), 1);
    EXPECT_EQ(scanner.indexOf(String()), -1);
    EXPECT_EQ(scanner.readUntil(String(u"::"), false), String(u"a"));
    EXPECT_EQ(scanner.indexOf(String(u"::")), 4);  // absolute, searched from the position
    EXPECT_EQ(scanner.readUntil(String(u"::"), false), String(u"b"));
    EXPECT_EQ(scanner.readUntil(String(u"::"), false), String(u"c"));
    EXPECT_TRUE(scanner.isEnd());

    // A delimiter at the very end: the position stops at the length.
    String const tail(u"ab::");
    StringScanner end(tail);
    EXPECT_EQ(end.readUntil(String(u"::"), false), String(u"ab"));
    EXPECT_EQ(end.position(), 4);
}

TEST(StringScanner, ReadUntilAnyPicksTheEarliestThenTheFirstInSetOrder) {
    String const text(u"a\r\nb");
    Set<String> const delimiters{u"\r", u"\r\n"};  // both at index 1; "\r" sorts first
    StringScanner scanner(text);
    String found(u"stale");
    EXPECT_EQ(scanner.indexOfAny(delimiters, &found), 1);
    EXPECT_EQ(found, String(u"\r"));
    EXPECT_EQ(scanner.readUntilAny(delimiters, false, &found), String(u"a"));
    EXPECT_EQ(found, String(u"\r"));
    EXPECT_EQ(scanner.remaining(), String(u"\nb"));
    EXPECT_EQ(scanner.indexOfAny(Set<String>(), &found), -1);
    EXPECT_TRUE(found.isEmpty());
    EXPECT_EQ(scanner.readUntilAny(delimiters, false, &found), String(u"\nb"));
    EXPECT_TRUE(found.isEmpty());

    String const date(u"2024/05");
    StringScanner dates(date);
    Char separator = 0;
    EXPECT_EQ(dates.readUntilAny(Set<Char>{u'-', u'/'}, false, &separator), String(u"2024"));
    EXPECT_EQ(separator, u'/');
    EXPECT_EQ(dates.readUntilAny(Set<Char>{u'-', u'/'}, true, &separator), String(u"05"));
    EXPECT_EQ(separator, 0);
}

TEST(StringScanner, ReadWhileAndIndexOfNotIn) {
    String const text(u"  \tx y");
    StringScanner scanner(text);
    Set<Char> const blanks{u' ', u'\t'};
    EXPECT_EQ(scanner.indexOfNotIn(blanks), 3);
    EXPECT_EQ(scanner.readWhile(blanks), String(u"  \t"));
    EXPECT_EQ(scanner.peek(1), String(u"x"));
    EXPECT_EQ(scanner.readWhile(blanks), String());
    scanner.skip(1);
    EXPECT_EQ(scanner.readWhile(blanks), String(u" "));
    EXPECT_EQ(scanner.readWhile(Set<Char>{u'y'}), String(u"y"));
    EXPECT_TRUE(scanner.isEnd());
}

TEST(StringScanner, PeekReadAndSkipStayInsideTheRange) {
    String const text(u"0123456789");
    StringScanner scanner(text.data(), text.data() + text.length());
    scanner.skip(8);
    EXPECT_EQ(scanner.peek(3), String(u"89"));
    EXPECT_EQ(scanner.position(), 8);
    EXPECT_EQ(scanner.peek(0), String());
    EXPECT_EQ(scanner.peek(-1), String());
    EXPECT_EQ(scanner.peek(INT_MAX), String(u"89"));
    EXPECT_EQ(scanner.read(INT_MAX), String(u"89"));
    EXPECT_TRUE(scanner.isEnd());

    scanner.reset();
    scanner.skip(3);
    scanner.skip(INT_MAX);  // saturates at the end instead of wrapping
    EXPECT_EQ(scanner.position(), 10);
    scanner.skip(INT_MIN);
    EXPECT_EQ(scanner.position(), 0);
    scanner.skip(-5);
    EXPECT_EQ(scanner.position(), 0);
    EXPECT_EQ(scanner.read(4), String(u"0123"));
    EXPECT_EQ(scanner.read(-2), String());
    EXPECT_EQ(scanner.position(), 4);
}

TEST(StringScanner, EmptyScannersReturnEmptyValues) {
    String const text(u"abc");
    StringScanner const variants[] = {
        StringScanner(nullptr, 5),
        StringScanner(text.data(), 0),
        StringScanner(text.data(), -3),
        StringScanner(text.data(), text.data()),
        StringScanner(text.data() + 2, text.data()),
        StringScanner(nullptr, text.data()),
    };
    for (StringScanner scanner : variants) {
        EXPECT_TRUE(scanner.isEnd());
        scanner.skip(4);
        EXPECT_EQ(scanner.position(), 0);
        EXPECT_EQ(scanner.read(2), String());
        EXPECT_EQ(scanner.remaining(), String());
        EXPECT_EQ(scanner.readUntil(u'b', false), String());
        EXPECT_EQ(scanner.readWhile(Set<Char>{u'a'}), String());
        EXPECT_EQ(scanner.indexOf(u'a'), -1);
        EXPECT_EQ(scanner.indexOf(String(u"a")), -1);
        EXPECT_EQ(scanner.position(), 0);
    }
}

TEST(BinaryScanner, SameOperationsOverBytes) {
    Binary const data("GET / HTTP/1.1\r\nHost: x\r\n\r\nbody");
    BinaryScanner scanner(data);
    EXPECT_EQ(scanner.readUntil(' ', false), Binary("GET"));
    EXPECT_EQ(scanner.readUntil(Binary("\r\n"), false), Binary("/ HTTP/1.1"));
    Binary found;
    EXPECT_EQ(scanner.indexOfAny(Set<Binary>{Binary("\r\n\r\n"), Binary(":")}, &found), 20);
    EXPECT_EQ(found, Binary(":"));
    EXPECT_EQ(scanner.readUntil(Binary("\r\n\r\n"), false), Binary("Host: x"));
    EXPECT_EQ(scanner.remaining(), Binary("body"));
    char which = 'z';
    EXPECT_EQ(scanner.indexOfAny(Set<char>{'y', 'o'}, &which), 28);
    EXPECT_EQ(which, 'o');
    EXPECT_EQ(scanner.readWhile(Set<char>{'b', 'o'}), Binary("bo"));
    EXPECT_EQ(scanner.read(10), Binary("dy"));

    char const zeros[] = {'a', 0, 0, 'b'};
    BinaryScanner withZeros(zeros, 4);
    EXPECT_EQ(withZeros.indexOf(Binary(zeros + 1, 2)), 1);
    EXPECT_EQ(withZeros.readUntil('b', true).length(), 3);
    EXPECT_EQ(BinaryScanner(static_cast<char const*>(nullptr), 3).read(1), Binary());
}
