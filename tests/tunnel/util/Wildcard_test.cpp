#include "tunnel/util/Wildcard.h"

#include <gtest/gtest.h>

#include "gt/core/lang/Binary.h"

using gt::core::String;
using tunnel::wildcardMatch;

TEST(Wildcard, MatchTable) {
    struct Case {
        char16_t const* pattern;
        char16_t const* text;
        bool match;
    } const cases[] = {
        {u"*", u"", true},
        {u"*", u"anything at all", true},
        {u"", u"", true},
        {u"", u"a", false},
        {u"?", u"", false},
        {u"?", u"x", true},
        {u"??", u"x", false},
        {u"192.168.1.?", u"192.168.1.7", true},
        {u"192.168.1.?", u"192.168.1.17", false},
        {u"192.168.1.*", u"192.168.1.7", true},
        {u"192.168.1.*", u"192.168.1.17", true},
        {u"192.168.1.*", u"192.168.10.1", false},
        {u"10.*.1", u"10.0.0.1", true},
        {u"10.*.1", u"10.20.1", true},
        {u"10.*.1", u"10.1", false},
        {u"10.*.1", u"10.0.0.12", false},
        {u"AB*", u"ab", false},
        {u"AB*", u"ABC", true},
        {u"**a**", u"a", true},
        {u"*?*", u"", false},
        {u"a*b*c", u"aXbYbZc", true},
        {u"a*b*c", u"aXcYb", false},
        {u"中?", u"中文", true},
        {u"exact", u"exact", true},
        {u"exact", u"exactly", false},
    };
    for (auto const& c : cases) {
        EXPECT_EQ(wildcardMatch(String(c.text), String(c.pattern)), c.match)
            << "pattern=" << String(c.pattern).toBinary().data()
            << " text=" << String(c.text).toBinary().data();
    }
}

TEST(Wildcard, LongInputsStayCheap) {
    // Backtracking matchers explode on this; the table form stays linear per row.
    String text(4000, u'a');
    String pattern;
    for (int i = 0; i < 30; ++i)
        pattern += u"*a";
    pattern += u"*b";
    EXPECT_FALSE(wildcardMatch(text, pattern));
    EXPECT_TRUE(wildcardMatch(text + u"b", pattern));
}
