// The two mailbox files shared with the desktop client: the signal file that
// takes commands and the status file that receives reports.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "gt/core/io/Mailbox.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/Dictionary.h"
#include "gt/util/ThreadSafeLogRecorder.h"
#include "support/TempDir.h"
#include "support/Text.h"
#include "svr/service/FileSignal.h"
#include "svr/service/SignalService.h"
#include "svr/service/StatusService.h"
#include "tunnel/nat/NatManager.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::test::TempDir;
using tunnel::FileSignal;
using tunnel::SignalService;
using tunnel::StatusService;

namespace {

enum State { ABSENT, EMPTY, HOLDS };

void prepare(TempDir const& dir, std::string const& name, State state, std::string const& content) {
    if (state == ABSENT) return;
    std::filesystem::create_directories(std::filesystem::path(dir.path(name)).parent_path());
    dir.writeFile(name, state == EMPTY ? std::string() : content);
}

}  // namespace

TEST(FileSignal, ConstructionAndDestructionDeleteTheFile) {
    TempDir dir;
    dir.writeFile("svr.signal", "exit");
    {
        FileSignal signal(dir.str("svr.signal"));
        EXPECT_FALSE(dir.exists("svr.signal"));
        dir.writeFile("svr.signal", "");
    }
    EXPECT_FALSE(dir.exists("svr.signal"));
}

TEST(FileSignal, ReceiveByFileState) {
    struct Case {
        char const* name;
        State state;
        std::string content;
        bool received;
        std::string bytes;
    } const cases[] = {
        {"absent: created empty", ABSENT, "", false, ""},
        {"empty: nothing to take", EMPTY, "", false, ""},
        {"a command is taken", HOLDS, "refresh", true, "refresh"},
        {"any bytes are taken as they are", HOLDS, "EXIT\n", true, "EXIT\n"},
        {"oversized content is emptied unread", HOLDS, std::string(FileSignal::MAX_SIZE + 1, 'x'), true, ""},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        gt::core::String const path = dir.str("data/svr.signal");
        FileSignal signal(path);
        prepare(dir, "data/svr.signal", c.state, c.content);
        if (c.state != ABSENT) {
            ASSERT_TRUE(dir.exists("data/svr.signal"));
        }
        Binary out("stale");
        EXPECT_EQ(c.received, signal.receive(&out));
        if (c.received) {
            EXPECT_EQ(c.bytes, gt::test::bytes(out));
        }
        // Whatever it found, the instance leaves an empty mailbox behind.
        EXPECT_TRUE(dir.exists("data/svr.signal"));
        EXPECT_EQ("", dir.readFile("data/svr.signal"));
        EXPECT_FALSE(signal.receive(nullptr));
    }
}

TEST(FileSignal, SendWritesOnlyIntoAnEmptyFile) {
    struct Case {
        char const* name;
        State state;
        std::string content;
        bool sent;
        std::string after;
    } const cases[] = {
        {"no instance", ABSENT, "", false, ""},
        {"ready", EMPTY, "", true, "exit"},
        {"previous command pending", HOLDS, "refresh", false, "refresh"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        prepare(dir, "svr.signal", c.state, c.content);
        EXPECT_EQ(c.sent, gt::core::Mailbox::send(dir.str("svr.signal"), gt::test::bin("exit")));
        EXPECT_EQ(c.state != ABSENT, dir.exists("svr.signal"));
        if (c.state != ABSENT) {
            EXPECT_EQ(c.after, dir.readFile("svr.signal"));
        }
    }
}

// Whoever can place an entry in the data folder must not reach another file
// through the mailbox: a link is never read, cut or written through; the
// instance replaces what is not a regular file by an empty mailbox.
TEST(FileSignal, ALinkOrFifoInPlaceOfTheMailboxLeavesEveryOtherFileAlone) {
    struct Case {
        char const* name;
        std::string victim;
        bool fifo;
    } const cases[] = {
        {"link to a file of the user", "precious data", false},
        {"link to a file holding a command", "exit", false},
        {"link to an empty file", "", false},
        {"fifo", "", true},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        gt::core::String const path = dir.str("svr.signal");
        FileSignal signal(path);
        dir.writeFile("victim", c.victim);
        if (c.fifo) {
            ASSERT_EQ(0, ::mkfifo(dir.path("svr.signal").c_str(), 0600));
        } else {
            ASSERT_EQ(0, ::symlink(dir.path("victim").c_str(), dir.path("svr.signal").c_str()));
        }
        // A sender never writes through it either.
        EXPECT_FALSE(gt::core::Mailbox::send(path, gt::test::bin("refresh")));
        Binary out("stale");
        EXPECT_FALSE(signal.receive(&out));
        EXPECT_EQ(c.victim, dir.readFile("victim"));
        struct stat st;
        ASSERT_EQ(0, ::lstat(dir.path("svr.signal").c_str(), &st));
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(0, st.st_size);
        // The mailbox works again at once.
        EXPECT_TRUE(gt::core::Mailbox::send(path, gt::test::bin("refresh")));
        EXPECT_TRUE(signal.receive(&out));
        EXPECT_EQ("refresh", gt::test::bytes(out));
        EXPECT_EQ(c.victim, dir.readFile("victim"));
    }
}

// The mailbox is emptied by putting an empty file in its place: a link that
// appears beside it, where the empty file is prepared, is taken away rather
// than written through.
TEST(FileSignal, EmptyingNeverWritesThroughALinkBesideTheMailbox) {
    TempDir dir;
    gt::core::String const path = dir.str("svr.signal");
    FileSignal signal(path);
    dir.writeFile("victim", "precious data");
    Binary out;
    EXPECT_FALSE(signal.receive(&out));
    ASSERT_EQ(0, ::symlink(dir.path("victim").c_str(), dir.path("svr.signal.new").c_str()));
    ASSERT_TRUE(gt::core::Mailbox::send(path, gt::test::bin("exit")));
    EXPECT_TRUE(signal.receive(&out));
    EXPECT_EQ("exit", gt::test::bytes(out));
    EXPECT_EQ("", dir.readFile("svr.signal"));
    EXPECT_EQ("precious data", dir.readFile("victim"));
    EXPECT_FALSE(dir.exists("svr.signal.new"));
}

TEST(SignalService, CommandWords) {
    struct Case {
        std::string bytes;
        SignalService::Command command;
    } const cases[] = {
        {"exit", SignalService::EXIT},
        {"EXIT", SignalService::EXIT},
        {"\xEF\xBB\xBF"
         "exit",
         SignalService::EXIT},
        {"Refresh", SignalService::REFRESH},
        {"refresh\n", SignalService::NONE},
        {" exit", SignalService::NONE},
        {"", SignalService::NONE},
        {"stop", SignalService::NONE},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(c.command, SignalService::parse(gt::test::bin(c.bytes)));
    }
}

namespace {

Dictionary<Any> forward(long long id, int ping, int channels, char const* error) {
    Dictionary<Any> entry;
    entry.set(u"id", Any(id));
    entry.set(u"ping", Any(ping));
    entry.set(u"channels", Any(channels));
    if (error) entry.set(u"error", Any(gt::test::str(error)));
    return entry;
}

Dictionary<Any> report(Array<Any> const& forwards) {
    Dictionary<Any> r;
    r.set(u"forwards", Any(forwards));
    return r;
}

}  // namespace

TEST(StatusFile, ReportBytes) {
    Array<Any> two;
    two.add(Any(forward(17, 43, 2, nullptr)));
    two.add(Any(forward(18, -1, 0, "连接失败")));
    struct Case {
        char const* name;
        Dictionary<Any> report;
        std::string bytes;
    } const cases[] = {
        {"no workers", report(Array<Any>()), "{\r\n\t\"forwards\":[\r\n\t]\r\n}"},
        {"error only when there is one", report(two),
         "{\r\n\t\"forwards\":[\r\n\t\t{\r\n\t\t\t\"channels\":2,\r\n\t\t\t\"id\":17,\r\n\t\t\t\"ping\":"
         "43\r\n\t\t},"
         "\r\n\t\t{\r\n\t\t\t\"channels\":0,\r\n\t\t\t\"error\":\"连接失败\",\r\n\t\t\t\"id\":18,\r\n\t\t\t"
         "\"ping\":-1\r\n\t\t}\r\n\t]\r\n}"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.writeFile("status.json.tmp", "");
        EXPECT_TRUE(StatusService::writeReport(dir.str("status.json.tmp"), c.report));
        EXPECT_EQ(c.bytes, dir.readFile("status.json.tmp"));
        EXPECT_FALSE(dir.exists("status.json.tmp.new"));
    }
}

// The report's bytes are pinned by a file the client's reader is tested
// against too (tests/app/StatusService_test.cpp).
TEST(StatusFile, WriterMatchesTheSharedGoldenReport) {
    Array<Any> forwards;
    forwards.add(Any(forward(7, 43, 2, nullptr)));
    forwards.add(Any(forward(18, -1, 0, "连接失败")));
    forwards.add(Any(forward(25, 12000, 5, nullptr)));
    forwards.add(Any(forward(4294967296LL, 0, 0, nullptr)));
    TempDir dir;
    dir.writeFile("status.json.tmp", "");
    ASSERT_TRUE(StatusService::writeReport(dir.str("status.json.tmp"), report(forwards)));
    std::ifstream golden(GT_TEST_DATA_DIR "/status/status.json.tmp", std::ios::binary);
    ASSERT_TRUE(golden.is_open());
    std::string const expected((std::istreambuf_iterator<char>(golden)), std::istreambuf_iterator<char>());
    EXPECT_EQ(dir.readFile("status.json.tmp"), expected);
}

TEST(StatusFile, WrittenOnlyIntoAnEmptyMailbox) {
    struct Case {
        char const* name;
        State state;
        std::string content;
    } const cases[] = {
        {"nobody asks", ABSENT, ""},
        {"an unread report stays", HOLDS, "{\"forwards\": []}"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        prepare(dir, "status.json.tmp", c.state, c.content);
        EXPECT_FALSE(StatusService::writeReport(dir.str("status.json.tmp"), report(Array<Any>())));
        EXPECT_EQ(c.state != ABSENT, dir.exists("status.json.tmp"));
        if (c.state != ABSENT) {
            EXPECT_EQ(c.content, dir.readFile("status.json.tmp"));
        }
        EXPECT_FALSE(dir.exists("status.json.tmp.new"));
    }
}

// The status mailbox and the file the report is prepared in: a link at
// either never carries the report to the file it points to.
TEST(StatusFile, ALinkInPlaceOfTheMailboxOrItsTemporaryFileLeavesTheTargetAlone) {
    struct Case {
        char const* name;
        char const* link;
        bool written;
    } const cases[] = {
        {"mailbox is a link to an empty file", "status.json.tmp", false},
        {"temporary file is a link", "status.json.tmp.new", true},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.writeFile("victim", "");
        if (std::string(c.link) != "status.json.tmp") dir.writeFile("status.json.tmp", "");
        ASSERT_EQ(0, ::symlink(dir.path("victim").c_str(), dir.path(c.link).c_str()));
        EXPECT_EQ(c.written, StatusService::writeReport(dir.str("status.json.tmp"), report(Array<Any>())));
        EXPECT_EQ("", dir.readFile("victim"));
        EXPECT_FALSE(dir.exists("status.json.tmp.new"));
        if (c.written) {
            EXPECT_EQ("{\r\n\t\"forwards\":[\r\n\t]\r\n}", dir.readFile("status.json.tmp"));
        }
    }
}

TEST(StatusFile, ReportListsEveryWorkerInIdOrder) {
    gt::util::ThreadSafeLogRecorder log(nullptr);
    tunnel::NatManager manager(&log, gt::net::SocketAddress());
    for (long long id : {42LL, 7LL, 19LL})
        manager.create(id);
    Dictionary<Any> const built = StatusService::buildReport(manager);
    Array<Any> const& forwards = built.get(u"forwards").cast<Array<Any> >();
    ASSERT_EQ(3, forwards.count());
    long long const ids[] = {7, 19, 42};
    for (int i = 0; i < 3; ++i) {
        Dictionary<Any> const& entry = forwards[i].cast<Dictionary<Any> >();
        EXPECT_EQ(ids[i], gt::core::toLong(entry.get(u"id")));
        // A worker that has no settings yet: no answer, no channels, no error.
        EXPECT_EQ(-1, gt::core::toInt(entry.get(u"ping")));
        EXPECT_EQ(0, gt::core::toInt(entry.get(u"channels")));
        EXPECT_FALSE(entry.contains(u"error"));
    }
}
