// The client's side of the status mailbox: the file states, the report the
// service program writes (a golden file both sides are tested against), and
// the real service program answering the client's request.
#include "app/StatusService.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/ClientConstants.h"
#include "app/ForwardStatus.h"
#include "gt/core/io/File.h"
#include "gt/core/io/Process.h"
#include "gt/core/util/JSON.h"
#include "support/ClientHome.h"
#include "support/TempDir.h"
#include "support/Text.h"
#include "support/Wait.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;
using gt::test::TempDir;
using gt::test::utf8;
using tunnel::StatusService;

namespace {

std::string golden() {
    std::ifstream in(GT_TEST_DATA_DIR "/status/status.json.tmp", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string jsonOf(Dictionary<Any> const& value) {
    String text;
    gt::core::JSON::encode(value, &text, false);
    return utf8(text);
}

TEST(StatusService, FileStates) {
    std::string const previous = R"({"forwards":[{"id":1}]})";
    struct Case {
        char const* name;
        bool exists;
        std::string content;
        bool refreshed;
        std::string status;  // as JSON after the call
        bool emptied;        // the file is empty afterwards (the next request)
    } const cases[] = {
        {"no file: the first request", false, "", false, previous, true},
        {"empty: no answer yet", true, "", false, previous, true},
        {"a report replaces the status", true, R"({"forwards":[{"id":2,"ping":5}]})", true,
         R"({"forwards":[{"id":2,"ping":5}]})", true},
        {"byte-order mark", true, "\xEF\xBB\xBF{\"forwards\":[]}", true, R"({"forwards":[]})", true},
        {"entries that are not objects are left out", true, R"({"forwards":[1,{"id":3},"x",null,[]]})", true,
         R"({"forwards":[{"id":3}]})", true},
        {"a report without forwards", true, R"({"other":1})", true, R"({"other":1})", true},
        {"root is a list", true, R"([{"id":2}])", false, previous, true},
        {"root is a number", true, "17", false, previous, true},
        {"broken text", true, R"({"forwards":[)", false, previous, true},
        {"oversized report", true,
         "{\"forwards\":[],\"pad\":\"" + std::string(StatusService::MAX_REPORT_BYTES, 'x') + "\"}", false,
         previous, true},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        StatusService reader(dir.str("status.json.tmp"));
        dir.writeFile("status.json.tmp", previous);
        ASSERT_TRUE(reader.refresh());
        ASSERT_EQ(dir.readFile("status.json.tmp"), "");
        if (c.exists) {
            dir.writeFile("status.json.tmp", c.content);
        } else {
            std::filesystem::remove(dir.path("status.json.tmp"));
        }
        EXPECT_EQ(reader.refresh(), c.refreshed);
        EXPECT_TRUE(dir.exists("status.json.tmp"));
        if (c.emptied) {
            EXPECT_EQ(dir.readFile("status.json.tmp"), "");
        }
        // status() asks once more: the empty file has no answer yet.
        EXPECT_EQ(jsonOf(reader.status()), c.status);
    }
}

// The data folder is shared: a link or a FIFO at the status path is never
// read or written through; a fresh empty file (the next request) takes its
// place and the file a link pointed to keeps its bytes.
TEST(StatusService, NeverThroughALinkOrAFifo) {
    for (char const* kind : {"link", "fifo"}) {
        SCOPED_TRACE(kind);
        TempDir dir;
        dir.writeFile("victim", R"({"forwards":[{"id":9}]})");
        std::string const path = dir.path("status.json.tmp");
        if (std::string(kind) == "link") {
            ASSERT_EQ(::symlink(dir.path("victim").c_str(), path.c_str()), 0);
        } else {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        }
        StatusService reader(dir.str("status.json.tmp"));
        EXPECT_FALSE(reader.refresh());
        EXPECT_EQ(dir.readFile("victim"), R"({"forwards":[{"id":9}]})");
        struct stat st;
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_size, 0);
    }
}

TEST(StatusService, StartsEmptyAndLeavesNoFileBehind) {
    TempDir dir;
    {
        StatusService reader(dir.str("status.json.tmp"));
        EXPECT_FALSE(dir.exists("status.json.tmp"));  // construction touches nothing
        EXPECT_EQ(reader.status().count(), 0);
        EXPECT_TRUE(dir.exists("status.json.tmp"));
    }
    EXPECT_FALSE(dir.exists("status.json.tmp"));

    // A folder where the file should be: no report, and the folder stays.
    ASSERT_EQ(::mkdir(dir.path("status.json.tmp").c_str(), 0700), 0);
    StatusService blocked(dir.str("status.json.tmp"));
    EXPECT_FALSE(blocked.refresh());
    EXPECT_EQ(blocked.status().count(), 0);
}

// The service's writer produces exactly this file for the same forwards
// (tests/svr/Mailbox_test.cpp); the client reads it and shows these cells.
TEST(StatusService, GoldenReportReadsIntoTheCells) {
    TempDir dir;
    StatusService reader(dir.str("status.json.tmp"));
    dir.writeFile("status.json.tmp", golden());
    ASSERT_TRUE(reader.refresh());
    Array<Any> entries;
    ASSERT_TRUE(tunnel::ForwardStatus::entriesOf(reader.status(), &entries));
    ASSERT_EQ(entries.count(), 4);

    Array<tunnel::Forward> forwards;
    for (long long id : {25LL, 18LL, 4294967296LL, 7LL, 8LL}) {
        tunnel::Forward forward;
        forward.id = id;
        forwards.add(forward);
    }
    Array<tunnel::ForwardStatus> const rows = tunnel::ForwardStatus::merge(entries, forwards, 0);
    struct Row {
        char const* ping;
        char const* channels;
        char const* error;
    } const expected[] = {
        {"传输忙", "5", ""}, {"无流量", "0", "连接失败"}, {"0ms", "0", ""},
        {"43ms", "2", ""},   {"...", "...", ""},
    };
    ASSERT_EQ(rows.count(), 5);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(utf8(rows[i].ping), expected[i].ping);
        EXPECT_EQ(utf8(rows[i].channels), expected[i].channels);
        EXPECT_EQ(utf8(rows[i].error), expected[i].error);
    }
}

// The real service program finds the client's request in the shared data
// folder and answers it; at its end it takes the file away.
TEST(StatusService, TheServiceProgramAnswersTheClientsRequest) {
    std::filesystem::create_directories(utf8(tunnel::ClientConstants::DATA_DIR()));
    StatusService reader;
    EXPECT_FALSE(reader.refresh());  // the request
    ASSERT_TRUE(gt::core::File::isFile(tunnel::ClientConstants::STATUS_FILE()));

    gt::core::Process svr;
    gt::core::Process::StartInfo info;
    info.commandLine = u"\"" + tunnel::ClientConstants::SVR_EXE_FILE() + u"\" --console";
    info.redirectInput = info.redirectOutput = info.redirectError = true;
    ASSERT_TRUE(svr.start(info));
    // The service deletes a request left from before its start; the next
    // request is answered on its next report, 5 s later.
    bool const answered = gt::test::waitFor([&] { return reader.refresh(); }, 20000);
    ::kill(svr.pid(), SIGTERM);
    EXPECT_TRUE(gt::test::waitFor([&] { return !svr.isRunning(); }, 20000));
    if (svr.isRunning()) svr.kill();
    ASSERT_TRUE(answered);
    EXPECT_EQ(svr.exitCode(), 0);
    EXPECT_FALSE(gt::core::File::isFile(tunnel::ClientConstants::STATUS_FILE()));
    EXPECT_EQ(jsonOf(reader.status()), R"({"forwards":[]})");
}

}  // namespace
