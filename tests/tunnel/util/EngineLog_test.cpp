#include "tunnel/util/EngineLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/FakeClock.h"
#include "support/RecordingLog.h"
#include "support/Text.h"

using gt::test::RecordingLog;
using tunnel::EngineLog;

TEST(EngineLog, DebugLinesAreOffUntilAskedFor) {
    RecordingLog sink;
    EngineLog log(&sink);
    EXPECT_FALSE(log.isDebug());
    log.debug(u"hidden");
    log.info(u"shown");
    log.setDebug(true);
    log.debug(u"now shown");
    log.warn(u"w");
    log.error(u"e");
    EXPECT_EQ(sink.lines(), (std::vector<std::string>{"I shown", "I DEBUG: now shown", "W w", "E e"}));
    EngineLog silent(nullptr);
    silent.setDebug(true);
    silent.debug(u"nowhere");
    silent.warn(u"nowhere");
}

// A peer that repeats one bad datagram 200,000 times costs two lines, not
// 200,000.
TEST(EngineLog, RepeatedLinesAreCollapsedWithACount) {
    RecordingLog sink;
    {
        EngineLog log(&sink);
        log.setDebug(true);
        for (int i = 0; i < 200000; ++i)
            log.debug(u"channelId NOT FOUND");
        EXPECT_EQ(sink.lines().size(), 1u);
        log.warn(u"channelId NOT FOUND");  // another level is another line
        log.warn(u"other");
        log.warn(u"other");
        log.info(u"third");
        log.info(u"last");
        log.info(u"last");
        log.info(u"last");
    }  // the pending count is written at the end
    EXPECT_EQ(sink.lines(), (std::vector<std::string>{
                                "I DEBUG: channelId NOT FOUND",
                                "I DEBUG: (last line repeated 199999 more times) channelId NOT FOUND",
                                "W channelId NOT FOUND",
                                "W other",
                                "W (last line repeated 1 more times) other",
                                "I third",
                                "I last",
                                "I (last line repeated 2 more times) last",
                            }));
}

TEST(EngineLog, ACountWaitsAtMostAMinute) {
    gt::test::FakeClock clock;
    RecordingLog sink;
    EngineLog log(&sink);
    log.info(u"again");
    log.info(u"again");
    clock.advance(EngineLog::REPEAT_REPORT_MS - 1);
    log.tick();
    EXPECT_EQ(sink.lines().size(), 1u);
    clock.advance(1);
    log.tick();
    EXPECT_EQ(sink.lines(),
              (std::vector<std::string>{"I again", "I (last line repeated 1 more times) again"}));
    // Further repeats are counted afresh.
    log.info(u"again");
    log.flush();
    EXPECT_EQ(sink.lines().back(), "I (last line repeated 1 more times) again");
    EXPECT_EQ(sink.lines().size(), 3u);
}

// The sink is shared: the worker's own state lines and the other workers'
// lines land between a repeated line and its count. The count names its line.
TEST(EngineLog, TheCountNamesItsLineWhateverCameBetween) {
    RecordingLog sink;
    EngineLog log(&sink);
    log.warn(u"[Tunnel] Relay probe failed: Connection refused (111)");
    log.warn(u"[Tunnel] Relay probe failed: Connection refused (111)");
    sink.info(u"[Tunnel] Tunnel closed. (127.0.0.1:7000)");  // another writer of the sink
    log.info(u"next");
    EXPECT_EQ(sink.lines(),
              (std::vector<std::string>{
                  "W [Tunnel] Relay probe failed: Connection refused (111)",
                  "I [Tunnel] Tunnel closed. (127.0.0.1:7000)",
                  "W (last line repeated 1 more times) [Tunnel] Relay probe failed: Connection refused (111)",
                  "I next",
              }));
}
