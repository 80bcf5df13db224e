#include "gt/core/util/Strings.h"

#include <gtest/gtest.h>

#include <vector>

using gt::core::String;
using gt::core::Strings;

namespace {

std::vector<String> elements(Strings const& list) { return std::vector<String>(list.begin(), list.end()); }

}  // namespace

TEST(Strings, SplitKeepsEmptyPieces) {
    struct Case {
        char16_t const* text;
        char16_t const* separator;
        std::vector<String> pieces;
    } const cases[] = {
        {u"a,b,c", u",", {u"a", u"b", u"c"}},
        {u"a,,b", u",", {u"a", u"", u"b"}},
        {u",a", u",", {u"", u"a"}},
        {u"a,", u",", {u"a", u""}},
        {u",", u",", {u"", u""}},
        {u"a::b", u"::", {u"a", u"b"}},
        {u"a:::b", u"::", {u"a", u":b"}},
        {u"abc", u",", {u"abc"}},
        {u"", u",", {}},
        {u"abc", u"", {u"abc"}},
        {u"C:\\dir\\file", u"\\", {u"C:", u"dir", u"file"}},
    };
    for (auto const& c : cases) {
        Strings list(c.text, c.separator);
        EXPECT_EQ(elements(list), c.pieces) << "splitting case " << &c - cases;
        // Joining back gives the text whenever it was not empty.
        if (*c.text) {
            EXPECT_EQ(list.join(c.separator), String(c.text));
        }
    }
}

TEST(Strings, Join) {
    Strings list;
    EXPECT_EQ(list.join(u", "), String());
    list.add(u"a");
    EXPECT_EQ(list.join(u", "), String(u"a"));
    list.add(u"b").add(u"c");
    EXPECT_EQ(list.join(u", "), String(u"a, b, c"));
    EXPECT_EQ(Strings::join(list, u"-"), String(u"a-b-c"));
    EXPECT_EQ(list.toString(), String(u"abc"));

    String out(u"old contents");
    list.join(&out, u"+");
    EXPECT_EQ(out, String(u"a+b+c"));
    list.join(nullptr, u"+");  // ignored

    Strings moved(std::move(list));
    EXPECT_EQ(moved.count(), 3);
    EXPECT_EQ(list.count(), 0);
    Strings copy(moved);
    copy[0] = u"z";
    EXPECT_EQ(moved[0], String(u"a"));
}
