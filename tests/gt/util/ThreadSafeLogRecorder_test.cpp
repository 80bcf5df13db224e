#include "gt/util/ThreadSafeLogRecorder.h"

#include "gt/core/lang/Binary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using gt::core::String;
using gt::util::ILogRecorder;
using gt::util::ThreadSafeLogRecorder;

namespace {
// Records "<level>:<text>" and detects two threads inside it at once.
class CheckingRecorder : public ILogRecorder {
public:
    void info(String const& m) override { _record("I", m); }
    void warn(String const& m) override { _record("W", m); }
    void error(String const& m) override { _record("E", m); }

    std::vector<std::string> lines;
    bool overlapped = false;

private:
    void _record(char const* level, String const& m) {
        if (m_inside.exchange(true)) overlapped = true;
        std::this_thread::yield();
        gt::core::Binary bytes = m.toBinary();
        lines.push_back(std::string(level) + ":" +
                        std::string(bytes.data(), static_cast<size_t>(bytes.length())));
        m_inside = false;
    }
    std::atomic<bool> m_inside{false};
};
}  // namespace

TEST(ThreadSafeLogRecorder, PassesEachLevelToTheSameLevel) {
    CheckingRecorder inner;
    ThreadSafeLogRecorder log(&inner);
    ILogRecorder* sink = &log;
    sink->info(u"a");
    sink->warn(u"b");
    sink->error(u"c");
    EXPECT_EQ(inner.lines, (std::vector<std::string>{"I:a", "W:b", "E:c"}));
}

TEST(ThreadSafeLogRecorder, NullInnerDropsRecords) {
    ThreadSafeLogRecorder log(nullptr);
    log.info(u"x");
    log.warn(u"x");
    log.error(u"x");
}

TEST(ThreadSafeLogRecorder, ThreadsNeverOverlapInTheInnerRecorder) {
    CheckingRecorder inner;
    ThreadSafeLogRecorder log(&inner);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&log] {
            for (int i = 0; i < 500; ++i)
                log.warn(u"line");
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_FALSE(inner.overlapped);
    EXPECT_EQ(inner.lines.size(), 2000u);
}
