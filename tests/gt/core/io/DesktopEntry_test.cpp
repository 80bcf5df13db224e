#include "gt/core/io/DesktopEntry.h"

#include <gtest/gtest.h>

#include "support/Text.h"

using gt::core::DesktopEntry;
using gt::core::String;
using gt::test::str;
using gt::test::utf8;

namespace {

// The Exec line of an entry: each argument quoted, then the value's own
// escapes (backslashes and '%' doubled).
TEST(DesktopEntry, ExecLineQuotesEachArgumentAndEscapesTheValue) {
    struct Case {
        char const* name;
        char const* program;
        char const* exec;
    } const cases[] = {
        {"plain", "/opt/q/Quorvane", "Exec=\"/opt/q/Quorvane\" \"--minimize=true\"\n"},
        {"blank and quotes", "/opt/my \"q\"/Quorvane",
         "Exec=\"/opt/my \\\\\"q\\\\\"/Quorvane\" \"--minimize=true\"\n"},
        {"dollar and backquote", "/opt/$x`y`/Quorvane",
         "Exec=\"/opt/\\\\$x\\\\`y\\\\`/Quorvane\" \"--minimize=true\"\n"},
        {"backslash", "/opt/a\\b/Quorvane", "Exec=\"/opt/a\\\\\\\\b/Quorvane\" \"--minimize=true\"\n"},
        {"percent is no field code", "/opt/100%/Quorvane",
         "Exec=\"/opt/100%%/Quorvane\" \"--minimize=true\"\n"},
        {"UTF-8", "/opt/程序/Quorvane", "Exec=\"/opt/程序/Quorvane\" \"--minimize=true\"\n"},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        String text;
        ASSERT_TRUE(DesktopEntry::applicationText(u"Quorvane", {str(c.program), u"--minimize=true"}, &text));
        std::string const entry = utf8(text);
        EXPECT_EQ(entry.rfind("[Desktop Entry]\nType=Application\nName=Quorvane\n", 0), 0u) << entry;
        EXPECT_NE(entry.find(std::string("\n") + c.exec), std::string::npos) << entry;
    }
}

// A value is one line: a program path with a line break or another control
// character cannot be carried, and nothing is produced.
TEST(DesktopEntry, ControlCharactersAreRefused) {
    String text = u"untouched";
    EXPECT_FALSE(DesktopEntry::applicationText(u"Quorvane", {u"/opt/a\nb/Quorvane"}, &text));
    EXPECT_FALSE(DesktopEntry::applicationText(u"Quorvane", {u"/opt/a\tb/Quorvane"}, &text));
    EXPECT_FALSE(DesktopEntry::applicationText(u"Quor\nvane", {u"/opt/Quorvane"}, &text));
    EXPECT_FALSE(DesktopEntry::applicationText(u"Quorvane", {}, &text));
    EXPECT_EQ(utf8(text), "untouched");
    String value = u"untouched";
    EXPECT_FALSE(DesktopEntry::execValue(u"\"a\rb\"", &value));
    EXPECT_EQ(utf8(value), "untouched");
}

}  // namespace
