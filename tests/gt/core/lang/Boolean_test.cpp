#include "gt/core/lang/Boolean.h"

#include <gtest/gtest.h>

using gt::core::Boolean;
using gt::core::String;

TEST(Boolean, TextForms) {
    EXPECT_EQ(Boolean(true).toString(), String(u"true"));
    EXPECT_EQ(Boolean(false).toString(), String(u"false"));
    EXPECT_EQ(Boolean().toString(), String(u"false"));
    EXPECT_EQ(&Boolean::trueString(), &Boolean::trueString());
}

TEST(Boolean, Parse) {
    struct Case {
        char16_t const* text;
        bool value;
    } const cases[] = {{u"true", true},   {u"TRUE", true},   {u"True", true},
                       {u" true", false}, {u"1", false},     {u"false", false},
                       {u"", false},      {u"truex", false}, {u"tru", false}};
    for (auto const& c : cases) {
        EXPECT_EQ(Boolean::parse(String(c.text)), c.value);
        Boolean b(!c.value);
        b.fromString(String(c.text));
        EXPECT_EQ(b.value(), c.value);
    }
}
