// The client's crash filter, in a child program run from a copy in a
// temporary folder (the report goes beside the program).
#include "app/util/CrashFilter.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "gt/core/io/File.h"
#include "support/TempDir.h"
#include "support/Wait.h"

extern char** environ;

namespace {

using gt::test::TempDir;

class CrashFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gt::core::File::copy(gt::core::String::fromUtf8(CRASH_FILTER_HELPER), dir.str("helper")));
    }

    // Runs the helper; the raw wait status, or -1 when it did not end in time.
    int run(char const* what) {
        std::string const program = dir.path("helper");
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(what), nullptr};
        pid_t pid = 0;
        if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
        int status = 0;
        bool const ended = gt::test::waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 30000);
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        return status;
    }

    // One report block as the library's fatal-error log writes it.
    std::string block(int signal) {
        char code[16];
        std::snprintf(code, sizeof code, "%x", signal);
        return "Program assert lunched\\.\r\n- Time:   \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\n"
               "- File:   " +
               dir.path("helper") + "\r\n- Line:   0\r\n- Report: Error Code:" + code +
               ", Error Address:[0-9a-f]+\r\n\r\n";
    }

    TempDir dir;
};

TEST_F(CrashFilterTest, EachCrashLeavesOneReportAndEndsByItsSignal) {
    struct Case {
        char const* what;
        int signal;
    } const cases[] = {
        {"segv", SIGSEGV},
        {"overflow", SIGSEGV},  // handled on the alternate stack
        {"abort", SIGABRT},
        {"thread-segv", SIGSEGV},
        {"race", SIGSEGV},             // two threads at once: still one report
        {"thread-overflow", SIGSEGV},  // on that thread's own alternate stack
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink(dir.path("assert.log").c_str());
        int const status = run(c.what);
        ASSERT_TRUE(WIFSIGNALED(status)) << std::hex << status;
        EXPECT_EQ(WTERMSIG(status), c.signal);
        std::string const text = dir.readFile("assert.log");
        EXPECT_TRUE(std::regex_match(text, std::regex(block(c.signal)))) << text;
    }
}

TEST_F(CrashFilterTest, NoCrashNoReport) {
    int const status = run("none");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(dir.exists("assert.log"));
}

}  // namespace
