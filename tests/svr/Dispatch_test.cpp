// The option table of the service program's command line.
#include <gtest/gtest.h>

#include "support/Text.h"
#include "svr/Dispatch.h"

TEST(Options, ExactWordsOnly) {
    char const* const known[] = {"--install",       "--uninstall",      "--start", "--stop",
                                 "--install-start", "--stop-uninstall", "--exit",  "--refresh",
                                 "--console",       "--service"};
    for (char const* word : known) {
        SCOPED_TRACE(word);
        tunnel::SvrOption const* option = tunnel::findOption(gt::test::str(word));
        ASSERT_NE(nullptr, option);
        EXPECT_EQ(gt::test::str(word), gt::core::String(option->word));
    }
    char const* const unknown[] = {"--INSTALL", "--Console", "install", "--console ", "-console", "", "--"};
    for (char const* word : unknown) {
        SCOPED_TRACE(word);
        EXPECT_EQ(nullptr, tunnel::findOption(gt::test::str(word)));
    }
}
