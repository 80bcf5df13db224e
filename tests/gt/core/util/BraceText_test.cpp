#include "gt/core/util/BraceText.h"

#include <gtest/gtest.h>

#include <map>

#include "support/Text.h"

using gt::core::Dictionary;
using gt::core::String;
using gt::test::str;
using gt::test::utf8;

namespace {

std::map<std::string, std::string> entries(Dictionary<String> const& dict) {
    std::map<std::string, std::string> out;
    for (auto const& e : dict)
        out[utf8(e.first)] = utf8(e.second);
    return out;
}

TEST(BraceText, Parse) {
    using Entries = std::map<std::string, std::string>;
    struct Case {
        char const* text;
        Entries expected;
    } const cases[] = {
        {"name{Tom}\r\nage{3}", {{"name", "Tom"}, {"age", "3"}}},
        {"a{x{y}z}", {{"a", "x{y}z"}}},
        {"a{1}a{2}", {{"a", "2"}}},
        {"{v}", {{"", "v"}}},
        {"a{1}b{2", {{"a", "1"}}},
        {"a{", {}},
        {"k{ line one\r\n line two }", {{"k", " line one\r\n line two "}}},
        {"a b{1}", {{"b", "1"}}},
        {"x}y{1}", {{"x}y", "1"}}},
        {"a{}b{{}}", {{"a", ""}, {"b", "{}"}}},
        {"a{1} trailing", {{"a", "1"}}},
        {"名{值}", {{"名", "值"}}},
        {"", {}},
    };
    for (auto const& c : cases) {
        Dictionary<String> dict;
        dict.set(String(u"stale"), String(u"x"));
        gt::core::parseBraceText(str(c.text), &dict);
        EXPECT_EQ(entries(dict), c.expected) << c.text;
    }
    gt::core::parseBraceText(String(u"a{1}"), nullptr);
}

TEST(BraceText, FormatInKeyOrder) {
    Dictionary<String> dict;
    dict.set(String(u"b"), String(u"2"));
    dict.set(String(u"a"), String(u"1"));
    dict.set(String(u"n"), str("x{y}\r\nz"));
    String out(u"stale");
    EXPECT_TRUE(gt::core::formatBraceText(dict, &out));
    EXPECT_EQ(utf8(out), "a{1}b{2}n{x{y}\r\nz}");
    Dictionary<String> back;
    gt::core::parseBraceText(out, &back);
    EXPECT_EQ(entries(back), entries(dict));
    EXPECT_FALSE(gt::core::formatBraceText(dict, nullptr));
    Dictionary<String> empty;
    EXPECT_TRUE(gt::core::formatBraceText(empty, &out));
    EXPECT_TRUE(out.isEmpty());
}

// Entries that would come back different (or break the entries behind them)
// are refused rather than written.
TEST(BraceText, FormatRefusesWhatCouldNotBeReadBack) {
    struct Case {
        char const* key;
        char const* value;
    } const cases[] = {
        {"a b", "1"}, {"a\tb", "1"}, {"a{", "1"},   {"}a", "1"},
        {"a", "}"},   {"a", "{"},    {"a", "x}{y"}, {"a", "{{}"},
    };
    for (auto const& c : cases) {
        Dictionary<String> dict;
        dict.set(String(u"good"), String(u"1"));
        dict.set(str(c.key), str(c.value));
        String out(u"stale");
        EXPECT_FALSE(gt::core::formatBraceText(dict, &out)) << c.key << " / " << c.value;
        EXPECT_TRUE(out.isEmpty());
        EXPECT_FALSE(gt::core::isBraceTextKey(str(c.key)) && gt::core::isBraceTextValue(str(c.value)));
    }
}

}  // namespace
