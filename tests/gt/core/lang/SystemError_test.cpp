#include "gt/core/lang/SystemError.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/Text.h"

using gt::core::systemErrorText;
using gt::test::utf8;

TEST(SystemError, TextIsTheMessageAndTheNumber) {
    struct Case {
        int err;
        char const* text;
    } const cases[] = {
        {ECONNREFUSED, "Connection refused (111)"},
        {ETIMEDOUT, "Connection timed out (110)"},
        {ECONNRESET, "Connection reset by peer (104)"},
        {0, "Success (0)"},
    };
    for (auto const& c : cases)
        EXPECT_EQ(c.text, utf8(systemErrorText(c.err))) << c.err;
}

TEST(SystemError, UnknownNumbersStillShowTheirNumber) {
    for (int err : {-1, 99999}) {
        std::string const text = utf8(systemErrorText(err));
        EXPECT_NE(std::string::npos, text.find("(" + std::to_string(err) + ")")) << text;
        EXPECT_GT(text.size(), std::to_string(err).size() + 3) << text;
    }
}

// Each thread gets its own error's text even while others ask at the same time.
TEST(SystemError, ThreadsDoNotShareTheText) {
    int const errors[] = {ECONNREFUSED, ENOENT, EACCES, EPIPE};
    std::vector<std::string> expected;
    for (int err : errors)
        expected.push_back(utf8(systemErrorText(err)));
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            for (int n = 0; n < 2000; ++n)
                if (utf8(systemErrorText(errors[i])) != expected[i]) ++mismatches[i];
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(std::vector<int>(4, 0), mismatches);
}
