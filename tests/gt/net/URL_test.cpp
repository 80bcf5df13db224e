#include "gt/net/URL.h"

#include <gtest/gtest.h>

#include "support/Text.h"

using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;
using gt::net::URL;
using gt::test::bytes;
using gt::test::raw;
using gt::test::utf8;

TEST(URL, ParsesIntoFiveParts) {
    struct Case {
        char16_t const* text;
        char const* scheme;
        char const* host;
        char const* path;
        char const* query;
        char const* fragment;
    } const cases[] = {
        {u"http://h:81/a/b?x=1#top", "http", "h:81", "/a/b", "x=1", "top"},
        {u"h/a", "", "h", "/a", "", ""},
        {u"a/b?u=http://c", "", "a", "/b", "u=http://c", ""},
        {u"h#f", "", "h", "", "", "f"},
        {u"h?#f", "", "h", "", "", "f"},
        {u"/util", "", "", "/util", "", ""},
        {u"h:8080", "", "h:8080", "", "", ""},
        {u"http://h", "http", "h", "", "", ""},
        {u"http://h/", "http", "h", "/", "", ""},
        {u"http://h?q", "http", "h", "", "q", ""},
        {u"https://h/p#a?b/c", "https", "h", "/p", "", "a?b/c"},
        {u"/a?x=http://b", "", "", "/a", "x=http://b", ""},
        {u"", "", "", "", "", ""},
        // A scheme needs at least one character; "://" alone does not end one.
        {u"://://", "", ":", "//://", "", ""},
        {u"://", "", ":", "//", "", ""},
        {u"://h/p", "", ":", "//h/p", "", ""},
        {u"http://a://x", "http", "a:", "//x", "", ""},
    };
    for (auto const& c : cases) {
        URL url(c.text);
        SCOPED_TRACE(utf8(String(c.text)));
        EXPECT_EQ(utf8(url.scheme()), c.scheme);
        EXPECT_EQ(utf8(url.host()), c.host);
        EXPECT_EQ(utf8(url.path()), c.path);
        EXPECT_EQ(utf8(url.query()), c.query);
        EXPECT_EQ(utf8(url.fragment()), c.fragment);
        // An empty query is not printed, so only h?#f does not print back.
        if (String(c.text) != String(u"h?#f")) {
            EXPECT_EQ(url.toString(), String(c.text));
        }
        EXPECT_EQ(URL(url.toString()), url);
    }
    EXPECT_EQ(utf8(URL(u"h?#f").toString()), "h#f");
}

TEST(URL, PrintsChosenParts) {
    URL url(u"http://h:81/a/b?x=1#top");
    EXPECT_EQ(utf8(url.toString(false, false, true, true, true)), "/a/b?x=1#top");
    EXPECT_EQ(utf8(url.toString(false, true, false, false, false)), "h:81");
    EXPECT_EQ(utf8(url.toString(true, true, false, false, false)), "http://h:81");
    EXPECT_EQ(utf8(URL(u"http://h").toString(false, false, true, true, true)), "");
    EXPECT_TRUE(URL::emptyUrl().isEmpty());
    EXPECT_FALSE(URL(u"h").isEmpty());
    EXPECT_EQ(URL(u"http://h/a"), URL(String(u"http://h/a")));
    EXPECT_NE(URL(u"http://h/a"), URL(u"http://h/b"));
}

TEST(URL, PercentEncoding) {
    EXPECT_EQ(utf8(URL::encode(String(u"é").toBinary())), "%C3%A9");
    EXPECT_EQ(utf8(URL::encode(Binary("a b"))), "a%20b");
    EXPECT_EQ(utf8(URL::encode(Binary("~*'()!-._AZaz09"))), "~*'()!-._AZaz09");
    EXPECT_EQ(utf8(URL::encode(raw(std::string("\x00+&=/%\xff", 7)))), "%00%2B%26%3D%2F%25%FF");
}

TEST(URL, PercentDecoding) {
    struct Case {
        char16_t const* text;
        std::string bytes;
    } const cases[] = {
        {u"a+b%41", "a bA"},
        {u"%c3%A9", "\xc3\xa9"},
        // A '%' without two hex digits after it stays as it is.
        {u"abc%4", "abc%4"},
        {u"abc%", "abc%"},
        {u"%zz1", "%zz1"},
        {u"%4g", "%4g"},
        {u"100%", "100%"},
        {u"%%41", "%A"},
        // Characters up to U+00FF are one byte; higher ones their UTF-8.
        {u"\u00e9", "\xe9"},
        {u"\u4e2d", "\xe4\xb8\xad"},
        {u"x\U0001F600y", "x\xf0\x9f\x98\x80y"},
    };
    for (auto const& c : cases)
        EXPECT_EQ(bytes(URL::decode(String(c.text))), c.bytes) << utf8(String(c.text));
}

TEST(URL, FormEncodingFollowsKeyOrder) {
    Dictionary<String> fields;
    fields.set(u"b", u"x y");
    fields.set(u"a", u"1");
    EXPECT_EQ(utf8(URL::encodeForm(fields)), "a=1&b=x%20y");
    EXPECT_EQ(utf8(URL::encodeForm(Dictionary<String>())), "");
    Dictionary<String> odd;
    odd.set(u"名", u"a&b=c");
    odd.set(u"", u"");
    EXPECT_EQ(utf8(URL::encodeForm(odd)), "=&%E5%90%8D=a%26b%3Dc");
}

TEST(URL, ParseQuery) {
    struct Case {
        char16_t const* query;
        std::vector<std::pair<std::string, std::string>> entries;  // in key order
    } const cases[] = {
        {u"a=1&a=2", {{"a", "2"}}},
        {u"a", {{"a", ""}}},
        {u"a=1=2", {{"a", "1=2"}}},
        {u"", {}},
        {u"a=1&&b=2", {{"", ""}, {"a", "1"}, {"b", "2"}}},
        {u"a=1&", {{"", ""}, {"a", "1"}}},
        {u"q=%E4%B8%AD+x&%41=%", {{"A", "%"}, {"q", "中 x"}}},
    };
    for (auto const& c : cases) {
        Dictionary<String> parsed = URL::parseQuery(String(c.query));
        std::vector<std::pair<std::string, std::string>> got;
        for (auto const& entry : parsed)
            got.emplace_back(utf8(entry.first), utf8(entry.second));
        EXPECT_EQ(got, c.entries) << utf8(String(c.query));
    }
}
