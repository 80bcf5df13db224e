#include <gtest/gtest.h>

#include <string>

#include "gt/core/lang/CodePage.h"
#include "gt/core/util/Base64.h"
#include "gt/core/util/Hex.h"
#include "support/Text.h"

using namespace gt::core;
using gt::test::bin;
using gt::test::bytes;

namespace {
String units(std::u16string const& s) { return String(s.data(), static_cast<int>(s.size())); }
}  // namespace

TEST(Base64, Rfc4648Vectors) {
    struct Case {
        char const* plain;
        char16_t const* encoded;
    } const cases[] = {{"", u""},
                       {"f", u"Zg=="},
                       {"fo", u"Zm8="},
                       {"foo", u"Zm9v"},
                       {"foob", u"Zm9vYg=="},
                       {"fooba", u"Zm9vYmE="},
                       {"foobar", u"Zm9vYmFy"}};
    for (auto const& c : cases) {
        EXPECT_EQ(Base64::encode(Binary(c.plain)), String(c.encoded)) << c.plain;
        EXPECT_EQ(bytes(Base64::decode(String(c.encoded))), c.plain);
    }
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    EXPECT_EQ(bytes(Base64::decode(Base64::encode(bin(all)))), all);
}

TEST(Base64, LenientDecoding) {
    struct Case {
        char16_t const* text;
        std::string plain;
    } const cases[] = {
        {u"YQ=", ""},
        {u"Y===", ""},
        {u"====", ""},
        {u"Y Q==", ""},
        {u"YQ A", std::string("a\x00\x00", 3)},  // the blank counts as 'A'
        {u"YWJj", "abc"},
        {u"YQ==", "a"},
        {u"YWI=", "ab"},
    };
    for (auto const& c : cases)
        EXPECT_EQ(bytes(Base64::decode(String(c.text))), c.plain);
}

TEST(Hex, EncodeDecode) {
    EXPECT_EQ(Hex::encode(bin(std::string("\x00\xab\xff", 3))), String(u"00ABFF"));
    EXPECT_EQ(bytes(Hex::decode(String(u"00abff"))), std::string("\x00\xab\xff", 3));
    EXPECT_EQ(bytes(Hex::decode(String(u"00ABFF"))), std::string("\x00\xab\xff", 3));
    EXPECT_EQ(Hex::decode(String(u"ABC")).length(), 0);
    EXPECT_EQ(bytes(Hex::decode(String(u"GG"))), std::string("\x00", 1));
    EXPECT_EQ(Hex::encode(Binary()), String());
}

TEST(CodePage, Utf16ToUtf8Table) {
    struct Case {
        std::u16string text;
        std::string utf8;
    } const cases[] = {
        {u"", ""},
        {u"A", "A"},
        {u"\u00e9", "\xC3\xA9"},
        {u"\u4e2d\u6587", "\xE4\xB8\xAD\xE6\x96\x87"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},             // surrogate pair
        {std::u16string(1, u'\xD800'), "\xEF\xBF\xBD"},  // lone high surrogate
        {std::u16string(1, u'\xDC00') + u"x",
         "\xEF\xBF\xBD"
         "x"},                                                   // lone low surrogate
        {u"a" + std::u16string(1, u'\xD83D'), "a\xEF\xBF\xBD"},  // high surrogate at the end
        {std::u16string(u"a\0b", 3), "a"},                       // stops at an inner NUL
    };
    for (auto const& c : cases) {
        Binary out(Binary("junk"));
        convertToUtf8(units(c.text), &out);
        EXPECT_EQ(bytes(out), c.utf8);
    }
    convertToUtf8(String(u"x"), nullptr);  // must not crash
}

TEST(CodePage, Utf8ToUtf16Table) {
    std::u16string const r(1, u'\xFFFD');
    struct Case {
        std::string utf8;
        std::u16string text;
    } const cases[] = {
        {"\xC0\xAF", r + r},                  // overlong
        {"\xED\xA0\x80", r + r + r},          // encoded surrogate
        {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
        {"\xE4\xB8", r},                      // truncated
        {"\xE4\xB8"
         "A",
         r + u"A"},  // truncated, then ASCII
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xEF\xBB\xBF"
         "A",
         u"A"},
        {"\xEF\xBB\xBF", u""},
        {"\xEF\xBB", r},                                       // too short for a mark
        {std::string("A\0B", 3), std::u16string(u"A\0B", 3)},  // a NUL is a character, not the end
        {"\x80"
         "a\xFF",
         r + u"a" + r},
        {"\xE0\x80\x80", r + r + r},
        {"\xF0\x80\x80\x80", r + r + r + r},
        {"\xED\x9F\xBF", u"\uD7FF"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    };
    for (auto const& c : cases) {
        String out(u"junk");
        convertFromUtf8(bin(c.utf8), &out);
        EXPECT_EQ(out, units(c.text)) << "input of " << c.utf8.size() << " bytes";
    }
    String ansi;
    convertFromAnsi(bin("\xEF\xBB\xBF"
                        "A"),
                    &ansi);
    EXPECT_EQ(ansi, String(u"\uFEFFA"));
    convertFromUtf8(Binary("x"), nullptr);
}

TEST(CodePage, OemIsUtf8) {
    Binary out;
    convertToOem(String(u"\u4e2d"), &out);
    EXPECT_EQ(bytes(out), "\xE4\xB8\xAD");
}
