#include "gt/core/io/Console.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using gt::core::Console;
using gt::core::String;

namespace {
// Sends standard output (or error) to a temporary file while alive; text()
// gives what arrived.
class CapturedOutput {
public:
    explicit CapturedOutput(int fd = 1) : m_fd(fd) {
        char name[] = "/tmp/gt_console_XXXXXX";
        int file = mkstemp(name);
        m_path = name;
        std::fflush(stdout);
        m_saved = dup(m_fd);
        dup2(file, m_fd);
        close(file);
    }
    ~CapturedOutput() {
        restore();
        std::remove(m_path.c_str());
    }
    void restore() {
        if (m_saved < 0) return;
        std::fflush(stdout);
        dup2(m_saved, m_fd);
        close(m_saved);
        m_saved = -1;
    }
    std::string text() {
        restore();
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

private:
    int m_fd;
    std::string m_path;
    int m_saved = -1;
};
}  // namespace

TEST(Console, PrintlnWritesUtf8LinesEndingInNewline) {
    CapturedOutput out;
    Console::println(u"DEBUG: ping: 12ms");
    Console::println(String::fromUtf8("中文"));
    Console::print(u"a");
    Console::println(u"");
    EXPECT_EQ(out.text(), "DEBUG: ping: 12ms\n\xE4\xB8\xAD\xE6\x96\x87\na\n");
}

TEST(Console, PrintlnErrorWritesTheLineToStandardErrorOnly) {
    CapturedOutput out;
    CapturedOutput err(2);
    Console::printlnError(String::fromUtf8("gtsvc: 中文"));
    EXPECT_EQ(err.text(), "gtsvc: \xE4\xB8\xAD\xE6\x96\x87\n");
    EXPECT_EQ(out.text(), "");
}

TEST(Console, LinesOfThreadsStayWhole) {
    CapturedOutput out;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            String line(200, static_cast<char16_t>(u'a' + t));
            for (int i = 0; i < 200; ++i)
                Console::println(line);
        });
    }
    for (auto& th : threads)
        th.join();
    std::istringstream lines(out.text());
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        ASSERT_EQ(line.size(), 200u);
        EXPECT_EQ(line.find_first_not_of(line[0]), std::string::npos);
    }
    EXPECT_EQ(count, 800);
}
