// The merge of the service's status report into the two status cells of the
// mapping page's rows.
#include "app/ForwardStatus.h"

#include <gtest/gtest.h>

#include "gt/core/util/JSON.h"
#include "support/Text.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::test::utf8;
using tunnel::Forward;
using tunnel::ForwardStatus;

namespace {

Array<Any> entries(std::string const& json) {
    Array<Any> list;
    EXPECT_TRUE(gt::core::JSON::decode(gt::test::str(json), &list)) << json;
    return list;
}

Forward forward(long long id, int bandwidth = 0) {
    Forward f;
    f.id = id;
    f.bandwidth = bandwidth;
    return f;
}

TEST(ForwardStatus, CellsByReportedValue) {
    struct Case {
        char const* name;
        char const* entry;  // the report entry for forward 5 (JSON), null: none
        int bandwidth;      // of the forward
        int floating;       // the quota limit's floating bandwidth
        char const* ping;
        char const* channels;
        char const* error;
    } const cases[] = {
        {"not reported", nullptr, 0, 0, "...", "...", ""},
        {"ping 0", R"({"id":5,"ping":0,"channels":1})", 0, 0, "0ms", "1", ""},
        {"ping 9999", R"({"id":5,"ping":9999,"channels":3})", 0, 0, "9999ms", "3", ""},
        {"ping 10000 is busy", R"({"id":5,"ping":10000,"channels":3})", 0, 0, "传输忙", "3", ""},
        {"no tunnel, no bandwidth", R"({"id":5,"ping":-1,"channels":0})", 0, 0, "无流量", "0", ""},
        {"no tunnel, fixed bandwidth", R"({"id":5,"ping":-1,"channels":0})", 1, 0, "连接中", "0", ""},
        {"no tunnel, floating bandwidth", R"({"id":5,"ping":-1,"channels":0})", 0, 1, "连接中", "0", ""},
        {"error becomes the tooltip", R"({"id":5,"ping":-1,"channels":0,"error":"连接失败"})", 0, 0, "无流量",
         "0", "连接失败"},
        {"ping as text keeps its own form", R"({"id":"5","ping":"042","channels":"2"})", 0, 0, "042ms", "2",
         ""},
        {"ping as a fraction", R"({"id":5,"ping":12.5,"channels":2})", 0, 0, "12.5ms", "2", ""},
        {"ping of 64 bits keeps its low half", R"({"id":5,"ping":4294967297,"channels":2})", 0, 0,
         "4294967297ms", "2", ""},
        {"ping of 64 bits below zero", R"({"id":5,"ping":-4294967297,"channels":null})", 0, 0, "无流量", "",
         ""},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Array<Forward> forwards;
        forwards.add(forward(5, c.bandwidth));
        Array<Any> const report = entries(std::string("[") + (c.entry ? c.entry : "") + "]");
        Array<ForwardStatus> const rows = ForwardStatus::merge(report, forwards, c.floating);
        ASSERT_EQ(rows.count(), 1);
        EXPECT_EQ(utf8(rows[0].ping), c.ping);
        EXPECT_EQ(utf8(rows[0].channels), c.channels);
        EXPECT_EQ(utf8(rows[0].error), c.error);
    }
}

TEST(ForwardStatus, RowsFollowTheForwardsWhateverTheReportHolds) {
    Array<Forward> forwards;
    forwards.add(forward(3));
    forwards.add(forward(1));
    forwards.add(forward(2));
    forwards.add(forward(3));
    Array<Any> const report = entries(
        R"([7, "x", null, [1], {"id":1,"ping":20,"channels":1,"error":"old"},
            {"id":3,"ping":30,"channels":3}, {"id":1,"ping":21,"channels":4}, {"id":99,"ping":1}])");
    Array<ForwardStatus> const rows = ForwardStatus::merge(report, forwards, 0);
    ASSERT_EQ(rows.count(), 4);
    EXPECT_EQ(utf8(rows[0].ping), "30ms");
    EXPECT_EQ(utf8(rows[1].ping), "21ms");  // the later entry of id 1
    EXPECT_EQ(utf8(rows[1].channels), "4");
    EXPECT_EQ(utf8(rows[1].error), "");  // and nothing of the earlier one
    EXPECT_EQ(utf8(rows[2].ping), "...");
    EXPECT_EQ(utf8(rows[3].ping), "30ms");

    // An empty report turns every row back to "...".
    for (ForwardStatus const& row : ForwardStatus::merge(Array<Any>(), forwards, 1)) {
        EXPECT_EQ(utf8(row.ping), "...");
        EXPECT_EQ(utf8(row.channels), "...");
    }
    EXPECT_EQ(ForwardStatus::merge(report, Array<Forward>(), 0).count(), 0);
}

TEST(ForwardStatus, OnlyAReportWithAListIsMerged) {
    struct Case {
        char const* report;
        bool merged;
        int count;
    } const cases[] = {
        {"{}", false, 0},
        {R"({"forwards":null})", false, 0},
        {R"({"forwards":{"id":1}})", false, 0},
        {R"({"forwards":[]})", true, 0},
        {R"({"forwards":[{"id":1},2]})", true, 2},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.report);
        Dictionary<Any> report;
        ASSERT_TRUE(gt::core::JSON::decode(gt::test::str(c.report), &report));
        Array<Any> list;
        list.add(Any(u"untouched"));
        EXPECT_EQ(ForwardStatus::entriesOf(report, &list), c.merged);
        EXPECT_EQ(list.count(), c.merged ? c.count : 1);
    }
}

}  // namespace
