#include "app/InstanceLock.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "support/TempDir.h"
#include "support/Text.h"
#include "tunnel/api/ProcessSingleton.h"

using gt::test::TempDir;
using tunnel::InstanceLock;
using tunnel::ProcessSingleton;

namespace {

bool isRegularFile(std::string const& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A bound UNIX socket at path: open() refuses it with ENXIO.
int bindSocket(std::string const& path) {
    int const fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

// Whatever stands at the lock's path: only a holder means another instance;
// entries that are no lock file are replaced; the rest fail with their cause.
TEST(InstanceLockTest, tellsARunningInstanceFromEveryOtherCause) {
    struct Case {
        char const* name;
        // Puts something at dir/app.lock (and beside it) before the start.
        std::function<void(TempDir const&)> prepare;
        InstanceLock::Outcome outcome;
        char const* reasonPart;  // for FAILED
    } const cases[] = {
        {"nothing there", [](TempDir const&) {}, InstanceLock::TAKEN, ""},
        {"stale file of an earlier run", [](TempDir const& d) { d.writeFile("app.lock", "old token"); },
         InstanceLock::TAKEN, ""},
        {"link to a file elsewhere",
         [](TempDir const& d) {
             d.writeFile("victim", "keep me");
             ASSERT_EQ(::symlink(d.path("victim").c_str(), d.path("app.lock").c_str()), 0);
         },
         InstanceLock::TAKEN, ""},
        {"dangling link",
         [](TempDir const& d) {
             ASSERT_EQ(::symlink(d.path("nowhere").c_str(), d.path("app.lock").c_str()), 0);
         },
         InstanceLock::TAKEN, ""},
        {"link to a folder",
         [](TempDir const& d) {
             ASSERT_EQ(::mkdir(d.path("elsewhere").c_str(), 0700), 0);
             ASSERT_EQ(::symlink(d.path("elsewhere").c_str(), d.path("app.lock").c_str()), 0);
         },
         InstanceLock::TAKEN, ""},
        {"FIFO", [](TempDir const& d) { ASSERT_EQ(::mkfifo(d.path("app.lock").c_str(), 0600), 0); },
         InstanceLock::TAKEN, ""},
        {"empty folder", [](TempDir const& d) { ASSERT_EQ(::mkdir(d.path("app.lock").c_str(), 0700), 0); },
         InstanceLock::TAKEN, ""},
        // Somebody's files: left alone, and the cause named.
        {"folder with files",
         [](TempDir const& d) {
             ASSERT_EQ(::mkdir(d.path("app.lock").c_str(), 0700), 0);
             d.writeFile("app.lock/notes", "x");
         },
         InstanceLock::FAILED, "Is a directory"},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        c.prepare(dir);
        ProcessSingleton lock(dir.str("app.lock"), true);
        gt::core::String reason = u"not set";
        EXPECT_EQ(InstanceLock::take(&lock, &reason), c.outcome);
        if (c.outcome == InstanceLock::TAKEN) {
            EXPECT_TRUE(reason.isEmpty());
            EXPECT_TRUE(lock.isLocked());
            EXPECT_TRUE(isRegularFile(dir.path("app.lock")));
            EXPECT_TRUE(lock._checkToken());
        } else {
            EXPECT_FALSE(lock.isLocked());
            std::string const text = gt::test::utf8(reason);
            EXPECT_NE(text.find(dir.path("app.lock")), std::string::npos) << text;
            EXPECT_NE(text.find(c.reasonPart), std::string::npos) << text;
            EXPECT_EQ(dir.readFile("app.lock/notes"), "x");
        }
        // What a link pointed at is never touched nor made.
        if (dir.exists("victim")) {
            EXPECT_EQ(dir.readFile("victim"), "keep me");
        }
        EXPECT_FALSE(dir.exists("nowhere"));
    }
}

TEST(InstanceLockTest, aSocketInThePlaceIsReplaced) {
    TempDir dir;
    int const fd = bindSocket(dir.path("app.lock"));
    ASSERT_GE(fd, 0);
    ProcessSingleton lock(dir.str("app.lock"), true);
    gt::core::String reason;
    EXPECT_EQ(InstanceLock::take(&lock, &reason), InstanceLock::TAKEN) << gt::test::utf8(reason);
    EXPECT_TRUE(isRegularFile(dir.path("app.lock")));
    ::close(fd);
}

TEST(InstanceLockTest, onlyAHolderMeansAnotherInstance) {
    TempDir dir;
    ProcessSingleton running(dir.str("app.lock"), true);
    ASSERT_TRUE(running.tryLock());
    ProcessSingleton second(dir.str("app.lock"), true);
    gt::core::String reason = u"not set";
    EXPECT_EQ(InstanceLock::take(&second, &reason), InstanceLock::RUNNING);
    EXPECT_TRUE(reason.isEmpty());
    // The holder's file stays its own.
    EXPECT_TRUE(running._checkToken());
    EXPECT_TRUE(isRegularFile(dir.path("app.lock")));
}

// A data folder that cannot be written or made: the system's reason, never
// "already running".
TEST(InstanceLockTest, aFolderThatCannotBeWrittenFailsWithItsCause) {
    struct Case {
        char const* name;
        char const* lockPath;
        char const* reasonPart;
        bool needsPermissions;  // root writes any folder
    } const cases[] = {
        {"read-only data folder", "data/app.lock", "Permission denied", true},
        {"data folder under a read-only one", "data/sub/app.lock", "Permission denied", true},
        {"a file where the folder belongs", "plain/app.lock", "plain", false},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsPermissions && ::geteuid() == 0) continue;
        TempDir dir;
        ASSERT_EQ(::mkdir(dir.path("data").c_str(), 0500), 0);
        dir.writeFile("plain", "a file");
        ProcessSingleton lock(dir.str(c.lockPath), true);
        gt::core::String reason;
        EXPECT_EQ(InstanceLock::take(&lock, &reason), InstanceLock::FAILED);
        std::string const text = gt::test::utf8(reason);
        EXPECT_NE(text.find(c.reasonPart), std::string::npos) << text;
        EXPECT_FALSE(dir.exists(c.lockPath));
        EXPECT_EQ(dir.readFile("plain"), "a file");
    }
}

// A stranger that holds the data folder's lock cannot keep the client from
// starting: the repair gives up after its wait, leaves the entry as it is
// and the start fails with the entry's cause.
TEST(InstanceLockTest, aFolderHeldByAStrangerEndsTheWaitAndRemovesNothing) {
    TempDir dir;
    ASSERT_EQ(::symlink(dir.path("elsewhere").c_str(), dir.path("app.lock").c_str()), 0);
    int const folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    ASSERT_EQ(::flock(folder, LOCK_EX), 0);
    ProcessSingleton lock(dir.str("app.lock"), true);
    gt::core::String reason;
    std::promise<InstanceLock::Outcome> outcome;
    std::future<InstanceLock::Outcome> done = outcome.get_future();
    std::thread starter([&] { outcome.set_value(InstanceLock::take(&lock, &reason)); });
    // Far above the repair's own wait; a wait without end never gets here.
    bool const ended = done.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    ::close(folder);  // lets a starter that still waits go on, so it can be joined
    starter.join();
    ASSERT_TRUE(ended) << "the start waited on the folder's lock without end";
    EXPECT_EQ(done.get(), InstanceLock::FAILED);
    EXPECT_FALSE(gt::test::utf8(reason).empty());
    struct stat st;
    ASSERT_EQ(::lstat(dir.path("app.lock").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}
