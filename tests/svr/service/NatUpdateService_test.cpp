// Turning the cloud's forward list into forward workers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gt/core/util/Any.h"
#include "gt/util/ThreadSafeLogRecorder.h"
#include "support/RecordingLog.h"
#include "support/Text.h"
#include "svr/service/NatUpdateService.h"
#include "tunnel/nat/NatManager.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;
using gt::test::RecordingLog;
using tunnel::NatManager;
using tunnel::NatUpdateService;

namespace {

// The lines of the service's own steps since the last look (the workers
// log from their threads too).
std::vector<std::string> serviceLines(RecordingLog& log) {
    std::vector<std::string> out;
    for (std::string const& line : log.take())
        if (line.find("[Forward] ") != std::string::npos && line.find("#") != std::string::npos &&
            (line.find("Append") != std::string::npos || line.find("Updated") != std::string::npos ||
             line.find("Removed") != std::string::npos || line.find("Skipped") != std::string::npos))
            out.push_back(line);
    return out;
}

std::vector<std::string> warningsOf(RecordingLog& log) {
    std::vector<std::string> out;
    for (std::string const& line : log.take())
        if (line.compare(0, 2, "W ") == 0) out.push_back(line);
    return out;
}

Dictionary<Any> record(Any id) {
    Dictionary<Any> r;
    r.set(u"id", id);
    r.set(u"access_key", Any(u"key"));
    r.set(u"protocol", Any(u"tcp"));
    r.set(u"address", Any(u"127.0.0.1:1"));
    return r;
}

Array<Any> list(std::vector<long long> const& ids) {
    Array<Any> out;
    for (long long id : ids)
        out.add(Any(record(Any(id))));
    return out;
}

std::vector<long long> workerIds(NatManager const& manager) {
    std::vector<long long> ids;
    for (auto it = manager.begin(); it != manager.end(); ++it)
        ids.push_back(it->first);
    return ids;
}

}  // namespace

TEST(NatUpdate, MalformedElementsAreSkippedWithAWarning) {
    Array<Any> mixed;
    mixed.add(Any(record(Any(3LL))));
    mixed.add(Any(5));                     // not an object
    mixed.add(Any(Array<Any>()));          // not an object
    mixed.add(Any(record(Any())));         // no id
    mixed.add(Any(record(Any(0LL))));      // id 0
    mixed.add(Any(record(Any(-1LL))));     // the none-id
    mixed.add(Any(record(Any(u"oops"))));  // reads as 0
    mixed.add(Any(record(Any(u"9"))));     // a number in text form
    mixed.add(Any());                      // null
    RecordingLog log;
    Array<Dictionary<Any> > valid = NatUpdateService::validForwards(mixed, &log);
    ASSERT_EQ(2, valid.count());
    EXPECT_EQ(3, gt::core::toLong(valid[0].get(u"id")));
    EXPECT_EQ(9, gt::core::toLong(valid[1].get(u"id")));
    std::vector<std::string> warnings = warningsOf(log);
    ASSERT_EQ(7u, warnings.size());
    EXPECT_EQ("W [Forward] Skipped element 1 of the forward list: not an object.", warnings[0]);
    EXPECT_EQ("W [Forward] Skipped element 3 of the forward list: no valid id.", warnings[2]);
    EXPECT_EQ("W [Forward] Skipped element 8 of the forward list: not an object.", warnings[6]);
}

TEST(NatUpdate, ALongListIsCutAtTheCapWithOneWarning) {
    RecordingLog log;
    std::vector<long long> ids;
    for (long long id = 1; id <= NatUpdateService::MAX_FORWARDS + 5; ++id)
        ids.push_back(id);
    Array<Dictionary<Any> > valid = NatUpdateService::validForwards(list(ids), &log);
    ASSERT_EQ(NatUpdateService::MAX_FORWARDS, valid.count());
    EXPECT_EQ(NatUpdateService::MAX_FORWARDS, gt::core::toLong(valid[valid.count() - 1].get(u"id")));
    std::vector<std::string> warnings = warningsOf(log);
    ASSERT_EQ(1u, warnings.size());
    EXPECT_EQ("W [Forward] Skipped elements 1024 to 1028 of the forward list: more than 1024 forwards.",
              warnings[0]);
}

TEST(NatUpdate, WorkersFollowTheList) {
    RecordingLog lines;
    gt::util::ThreadSafeLogRecorder log(&lines);
    NatManager manager(&log, gt::net::SocketAddress());
    struct Step {
        std::vector<long long> ids;
        std::vector<long long> workers;
        std::vector<std::string> lines;
    } const steps[] = {
        {{2, 1},
         {1, 2},
         {"I [Forward] Append. #2", "I [Forward] Updated. #2", "I [Forward] Append. #1",
          "I [Forward] Updated. #1"}},
        {{1, 2}, {1, 2}, {"I [Forward] Updated. #1", "I [Forward] Updated. #2"}},
        {{3, 2},
         {2, 3},
         {"I [Forward] Removed. #1", "I [Forward] Append. #3", "I [Forward] Updated. #3",
          "I [Forward] Updated. #2"}},
        {{}, {}, {"I [Forward] Removed. #2", "I [Forward] Removed. #3"}},
    };
    for (Step const& step : steps) {
        NatUpdateService::apply(NatUpdateService::validForwards(list(step.ids), &log), &manager, &log);
        EXPECT_EQ(step.workers, workerIds(manager));
        EXPECT_EQ(step.lines, serviceLines(lines));
    }
}
