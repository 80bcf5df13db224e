#include "gt/util/CookieJar.h"

#include <gtest/gtest.h>

#include "support/Text.h"

using gt::core::Array;
using gt::core::String;
using gt::test::utf8;
using gt::util::Cookie;
using gt::util::CookieJar;

namespace {
std::string fields(Cookie const& c) {
    return utf8(c.domain) + "|" + utf8(c.path) + "|" + utf8(c.name) + "|" + utf8(c.value);
}
}  // namespace

TEST(Cookie, ParsesSetCookieValues) {
    struct Case {
        char16_t const* text;
        char const* fields;  // domain|path|name|value
    } const cases[] = {
        {u"sid=abc; Path=/; Domain=.example; HttpOnly", ".example|/|sid|abc"},
        {u"a=1", "||a|1"},
        {u"a", "||a|"},
        {u" a =1;x", "||a|1"},
        {u"a=b=c; path=/x; expires=Wed, 21 Oct 2015 07:28:00 GMT; secure", "|/x|a|b=c"},
        {u"a=1;  DOMAIN = h ;PATH", " h ||a|1"},
        // A cookie named domain also sets the domain field.
        {u"domain=d; path=/p", "d|/p|domain|d"},
        {u"a=", "||a|"},
        {u"", "|||"},
    };
    for (auto const& c : cases)
        EXPECT_EQ(fields(Cookie(String(c.text))), c.fields) << utf8(String(c.text));
    EXPECT_EQ(utf8(Cookie(u"d", u"/p", u"n", u"v").toString()), "n=v; domain=d; path=/p");
    EXPECT_EQ(utf8(Cookie().toString()), "=; domain=; path=");
}

TEST(CookieJar, DomainMatching) {
    struct Case {
        char16_t const* host;
        char16_t const* domain;
        bool matches;
    } const cases[] = {
        {u"example", u"example", true},
        {u"api.example", u"example", true},
        {u"a.b.example", u".example", true},
        {u"api.example", u"*.example", true},
        {u"xexample", u"example", false},
        {u"example", u"api.example", false},
        {u"API.Example", u"example", true},
        {u"h:8080", u"h:8080", true},
        {u"h:8080", u"h", false},
        {u"h", u"h:8080", false},
        {u"..example", u"example", true},
        {u"", u"", true},
    };
    for (auto const& c : cases)
        EXPECT_EQ(CookieJar::domainMatches(String(c.host), String(c.domain)), c.matches)
            << utf8(String(c.host)) << " / " << utf8(String(c.domain));
}

TEST(CookieJar, AddReplacesByDomainAndName) {
    CookieJar jar;
    jar.add(Cookie(u"h", u"/", u"a", u"1"));
    jar.add(Cookie(u"h", u"/", u"b", u"2"));
    jar.add(Cookie(u"h", u"/other", u"a", u"3"));  // same identity: replaced in place
    jar.add(Cookie(u"g", u"/", u"a", u"4"));       // other domain: beside it
    jar.add(Cookie(u"H", u"/", u"a", u"5"));       // identity is case-sensitive
    ASSERT_EQ(jar.count(), 4);
    EXPECT_EQ(fields(jar[0]), "h|/other|a|3");
    EXPECT_EQ(fields(jar[1]), "h|/|b|2");
    EXPECT_EQ(fields(jar[2]), "g|/|a|4");
    EXPECT_EQ(fields(jar[3]), "H|/|a|5");

    // value() takes the first match in jar order; matching lowers both sides.
    EXPECT_EQ(utf8(jar.value(u"h", u"a")), "3");
    EXPECT_EQ(utf8(jar.value(u"g", u"a")), "4");
    EXPECT_EQ(utf8(jar.value(u"x.h", u"b")), "2");
    EXPECT_EQ(utf8(jar.value(u"h", u"B")), "");
    EXPECT_EQ(utf8(jar.value(u"nowhere", u"a")), "");

    Array<Cookie> found;
    jar.find(u"api.h", &found);
    ASSERT_EQ(found.count(), 3);
    EXPECT_EQ(utf8(found[2].value), "5");
    jar.find(u"nowhere", &found);
    EXPECT_EQ(found.count(), 0);
    jar.find(u"h", nullptr);
    EXPECT_EQ(jar.count(), 4);

    Array<Cookie> more;
    more.add(Cookie(u"h", u"/", u"b", u"9"));
    more.add(Cookie(u"k", u"/", u"c", u"8"));
    jar.add(more);
    EXPECT_EQ(jar.count(), 5);
    EXPECT_EQ(utf8(jar.value(u"h", u"b")), "9");
    jar.clear();
    EXPECT_EQ(jar.count(), 0);
}

TEST(CookieJar, TextFormRoundTrip) {
    CookieJar jar;
    jar.add(Cookie(u"h", u"/", u"a", u"1"));
    jar.add(Cookie(u".example", u"", u"sid", u"x y"));
    String text = jar.toString();
    EXPECT_EQ(utf8(text), "a=1; domain=h; path=/\r\nsid=x y; domain=.example; path=\r\n");
    CookieJar loaded(text);
    ASSERT_EQ(loaded.count(), 2);
    EXPECT_EQ(fields(loaded[0]), "h|/|a|1");
    EXPECT_EQ(fields(loaded[1]), ".example||sid|x y");
    EXPECT_EQ(loaded.toString(), text);

    // load() replaces the content, skips empty lines and keeps duplicates.
    loaded.load(u"a=1; domain=h\r\n\r\na=2; domain=h");
    ASSERT_EQ(loaded.count(), 2);
    EXPECT_EQ(utf8(loaded[1].value), "2");
    loaded.load(u"");
    EXPECT_EQ(loaded.count(), 0);
}

TEST(CookieJar, IsCappedDroppingTheOldest) {
    CookieJar jar;
    for (int i = 0; i < CookieJar::MAX_COOKIES + 5; ++i)
        jar.add(Cookie(u"h", u"/", String(u"n") + String::fromUtf8(std::to_string(i).c_str()), u"v"));
    ASSERT_EQ(jar.count(), CookieJar::MAX_COOKIES);
    EXPECT_EQ(utf8(jar[0].name), "n5");
    EXPECT_EQ(utf8(jar.value(u"h", u"n4")), "");
    EXPECT_EQ(utf8(jar[CookieJar::MAX_COOKIES - 1].name), "n" + std::to_string(CookieJar::MAX_COOKIES + 4));

    std::string text;
    for (int i = 0; i < CookieJar::MAX_COOKIES * 2; ++i)
        text += "c" + std::to_string(i) + "=1; domain=h; path=/\r\n";
    CookieJar loaded(String::fromUtf8(text.c_str()));
    ASSERT_EQ(loaded.count(), CookieJar::MAX_COOKIES);
    EXPECT_EQ(utf8(loaded[0].name), "c" + std::to_string(CookieJar::MAX_COOKIES));
}
