#include "gt/core/lang/Fatal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "gt/core/io/File.h"
#include "gt/core/io/Process.h"
#include "gt/core/io/RandomAccessFile.h"
#include "support/TempDir.h"
#include "support/Text.h"
#include "support/Wait.h"

using gt::core::ErrorHandler;
using gt::core::File;
using gt::core::Process;
using gt::core::RandomAccessFile;
using gt::core::String;
using gt::test::str;
using gt::test::TempDir;
using gt::test::utf8;

namespace {

TEST(Fatal, FileTagIsTheLastFolderAndTheNameWithoutExtension) {
    struct Case {
        char const* path;
        char const* tag;
    } const cases[] = {
        {"gt/net/channel/TcpSocketChannel.cpp", "channel/TcpSocketChannel"},
        {"/home/me/src/gt/core/lang/Thread.cpp", "lang/Thread"},
        {"gt/core/lang/AtomicQueue.h", "lang/AtomicQueue"},
        {"lang\\Thread", "lang/Thread"},
        {"..\\core/lang\\AtomicQueue", "lang/AtomicQueue"},
        {"Thread.cpp", "Thread"},
        {"v1.2/Thread", "v1.2/Thread"},
        {"a/b/c.tar.gz", "b/c.tar"},
        {"", ""},
    };
    for (auto const& c : cases)
        EXPECT_EQ(utf8(gt::core::detail::fileTag(c.path)), c.tag) << c.path;
}

TEST(Fatal, ReportBlock) {
    std::string report = utf8(gt::core::detail::assertReport(str("x > 0 中"), String(u"io/Foo"), 12));
    std::regex expected(
        "Program assert lunched\\.\r\n- Time:   \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\n"
        "- File:   io/Foo\r\n- Line:   12\r\n- Report: x > 0 中\r\n\r\n");
    EXPECT_TRUE(std::regex_match(report, expected)) << report;
}

void noteHandler(String const& message, String const& file, int line) {
    std::string text = utf8(message) + "|" + utf8(file) + "|" + std::to_string(line);
    std::fprintf(stderr, "handled:%s\n", text.c_str());
}

TEST(Fatal, SetErrorHandler) {
    ErrorHandler previous = noteHandler;
    EXPECT_FALSE(gt::core::setErrorHandler(nullptr, &previous));
    EXPECT_EQ(previous, noteHandler);
    EXPECT_TRUE(gt::core::setErrorHandler(noteHandler, &previous));
    EXPECT_EQ(previous, gt::core::writeAssertLog);  // the default
    ErrorHandler mine = nullptr;
    EXPECT_FALSE(gt::core::setErrorHandler(nullptr, &mine));
    EXPECT_EQ(mine, nullptr);
    EXPECT_TRUE(gt::core::setErrorHandler(previous, &mine));
    EXPECT_EQ(mine, noteHandler);
    EXPECT_TRUE(gt::core::setErrorHandler(gt::core::writeAssertLog, nullptr));
}

TEST(FatalDeathTest, RaiseErrorCallsTheHandlerAndExitsWithMinusOne) {
    EXPECT_EXIT(
        {
            gt::core::setErrorHandler(noteHandler, nullptr);
            gt::core::raiseError(str("boom"), String(u"io/Foo"), 7);
        },
        ::testing::ExitedWithCode(255), "handled:boom\\|io/Foo\\|7");
}

TEST(FatalDeathTest, AssertionReportsExpressionTagAndLine) {
    int const line = __LINE__ + 5;
    EXPECT_EXIT(
        {
            gt::core::setErrorHandler(noteHandler, nullptr);
            int x = 0;
            GT_ASSERT(x > 0);
        },
        ::testing::ExitedWithCode(255), "handled:x > 0\\|lang/Fatal_test\\|" + std::to_string(line));
}

TEST(FatalDeathTest, ConsoleHandlerPrintsPercentSignsAsTheyAre) {
    EXPECT_EXIT(
        {
            ::dup2(2, 1);  // standard output is what the death test reads
            gt::core::setErrorHandler(gt::core::printAssert, nullptr);
            gt::core::raiseError(str("100%s done %d"), String(u"f"), 1);
        },
        ::testing::ExitedWithCode(255), "- Report: 100%s done %d\r\n");
}

// The default handler writes assert.log next to the program: run the helper
// program from a copy in a temporary folder.
class FatalReportTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(File::copy(str(GT_CORE_TEST_HELPER), dir.str("helper"))); }

    // Runs the helper with the given arguments; its output goes to "out".
    int run(char const* args) {
        RandomAccessFile out(dir.str("out"), RandomAccessFile::OPEN_ALWAYS, RandomAccessFile::ACCESS_WRITE,
                             RandomAccessFile::SHARE_READ_WRITE);
        out.truncate(0);
        Process::StartInfo info;
        info.commandLine = dir.str("helper") + u" " + str(args);
        info.redirectOutput = true;
        info.stdOutput = &out;
        Process p;
        if (!p.start(info)) return -1000;
        if (!gt::test::waitFor([&] { return !p.isRunning(); })) {
            p.kill();
            return -1001;
        }
        return p.exitCode();
    }

    std::string log() { return dir.readFile("assert.log"); }

    std::string block(std::string const& file, std::string const& line, std::string const& message) {
        return "Program assert lunched\\.\r\n- Time:   \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\n- File:  "
               " " +
               file + "\r\n- Line:   " + line + "\r\n- Report: " + message + "\r\n\r\n";
    }

    TempDir dir;
};

TEST_F(FatalReportTest, AssertionAppendsToAssertLog) {
    ASSERT_EQ(run("assert"), 255);
    std::string line = dir.readFile("out");
    line.pop_back();  // the newline
    ASSERT_EQ(run("assert"), 255);
    std::string one = block("helpers/CoreTestHelper", line, "x > 0");
    std::string text = log();
    EXPECT_TRUE(std::regex_match(text, std::regex(one + one))) << text;
}

TEST_F(FatalReportTest, UncaughtExceptionsInAThread) {
    struct Case {
        char const* what;
        char const* message;
    } const cases[] = {
        {"throw-int", "线程未捕获异常: 7"},
        {"throw-exception",
         "线程未捕获异常: \\[GT Exception: N2gt4core19NotSupportExceptionE\\] NotSupportException\\. 'x' is "
         "not "
         "supported\\."},
        {"throw-other", "线程未捕获异常: 未知异常"},
    };
    for (auto const& c : cases) {
        ::unlink(dir.path("assert.log").c_str());
        EXPECT_EQ(run(c.what), 255) << c.what;
        std::string text = log();
        EXPECT_TRUE(std::regex_match(text, std::regex(block(dir.path("helper"), "-1", c.message)))) << text;
    }
}

TEST_F(FatalReportTest, SimultaneousFailuresWriteOneReport) {
    for (int round = 0; round < 5; ++round) {
        ::unlink(dir.path("assert.log").c_str());
        ASSERT_EQ(run("race"), 255);
        std::string text = log();
        EXPECT_TRUE(std::regex_match(text, std::regex(block("race", "[12]", "(first|second)")))) << text;
    }
}

TEST_F(FatalReportTest, FailureInsideTheHandlerEndsTheProcess) {
    ASSERT_EQ(run("reenter"), 255);
    std::string text = log();
    EXPECT_TRUE(std::regex_match(text, std::regex(block("reenter", "1", "once")))) << text;
}

}  // namespace
