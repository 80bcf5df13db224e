// The service program's console log: the form of one line.
#include "svr/ConsoleLogRecorder.h"

#include <gtest/gtest.h>

#include "support/Text.h"

using gt::util::ConsoleLogRecorder;

TEST(ConsoleLogRecorder, LineForm) {
    struct Case {
        char16_t const* marker;
        char const* line;
    } const cases[] = {
        {u" ", "09:05:07 [Device] logged in."},
        {u" <WARN> ", "09:05:07 <WARN> [Device] logged in."},
        {u" <ERR> ", "09:05:07 <ERR> [Device] logged in."},
    };
    for (auto const& c : cases)
        EXPECT_EQ(c.line,
                  gt::test::utf8(ConsoleLogRecorder::format(u"09:05:07", c.marker, u"[Device] logged in.")));
}
