#include "tunnel/api/ProcessSingleton.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "gt/core/lang/SystemError.h"
#include "support/TempDir.h"
#include "support/Text.h"

using gt::core::String;
using gt::test::TempDir;
using gt::test::utf8;
using tunnel::ProcessSingleton;

namespace {

TEST(ProcessSingleton, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    TempDir dir;
    String const path = dir.str("app.lock");
    ProcessSingleton first(path);
    ProcessSingleton second(path);
    ASSERT_TRUE(first.tryLock());
    EXPECT_FALSE(second.tryLock());
    EXPECT_EQ(dir.readFile("app.lock"), utf8(first.token()));
    EXPECT_EQ(first.token().length(), 32);
    EXPECT_NE(first.token(), second.token());

    // A non-holder deletes nothing, by unlock or by going away.
    EXPECT_FALSE(second.unlock());
    { ProcessSingleton passerBy(path); }
    EXPECT_TRUE(dir.exists("app.lock"));
    EXPECT_FALSE(second.tryLock());

    EXPECT_TRUE(first.unlock());
    EXPECT_FALSE(dir.exists("app.lock"));
    ASSERT_TRUE(second.tryLock());
    EXPECT_EQ(dir.readFile("app.lock"), utf8(second.token()));
}

TEST(ProcessSingleton, StaleFileOfAnEarlierRunIsTakenOver) {
    TempDir dir;
    dir.writeFile("app.lock", "a much longer token left behind by a crashed instance");
    ProcessSingleton lock(dir.str("app.lock"));
    ASSERT_TRUE(lock.tryLock());
    EXPECT_EQ(dir.readFile("app.lock"), utf8(lock.token()));
    EXPECT_TRUE(lock._checkToken());
}

TEST(ProcessSingleton, SecondTryLockOnTheHolderIsFalseAndKeepsTheLock) {
    TempDir dir;
    ProcessSingleton lock(dir.str("app.lock"));
    ASSERT_TRUE(lock.tryLock());
    EXPECT_FALSE(lock.tryLock());
    EXPECT_TRUE(lock.isLocked());
    EXPECT_TRUE(lock._checkToken());
    ProcessSingleton other(dir.str("app.lock"));
    EXPECT_FALSE(other.tryLock());
}

TEST(ProcessSingleton, FolderIsCreatedOnlyWhenAsked) {
    TempDir dir;
    ProcessSingleton plain(dir.str("missing/svr.lock"));
    EXPECT_FALSE(plain.tryLock());
    ProcessSingleton creating(dir.str("missing/deeper/svr.lock"), true);
    EXPECT_TRUE(creating.tryLock());
    EXPECT_TRUE(dir.exists("missing/deeper/svr.lock"));
}

// The lock file sits in a shared folder: a link or a FIFO put in its place
// never leads the lock to cut or write another file, and the failure says
// what it met, unlike a lock that another instance holds.
TEST(ProcessSingleton, ALinkOrOtherNonFileIsRefusedWithItsReason) {
    struct Case {
        char const* name;
        int error;
        char const* text;
    } const cases[] = {
        {"link to a file of the user", ELOOP, "Cannot open the lock file "},
        {"dangling link", ELOOP, "Cannot open the lock file "},
        {"fifo", EBADFD, "Cannot open the lock file "},
        {"folder", EISDIR, "Cannot open the lock file "},
        {"folder that cannot be made", ENOTDIR, "Cannot create the folder "},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.writeFile("victim", "precious data");
        std::string lock = dir.path("svr.lock");
        std::string name = c.name;
        int made = 0;
        if (name == "link to a file of the user") made = ::symlink(dir.path("victim").c_str(), lock.c_str());
        if (name == "dangling link") made = ::symlink(dir.path("absent").c_str(), lock.c_str());
        if (name == "fifo") made = ::mkfifo(lock.c_str(), 0600);
        if (name == "folder") made = ::mkdir(lock.c_str(), 0700);
        if (name == "folder that cannot be made") lock = dir.path("victim/data/svr.lock");
        ASSERT_EQ(0, made);
        ProcessSingleton singleton(gt::test::str(lock), true);
        EXPECT_FALSE(singleton.tryLock());
        EXPECT_EQ(c.error, singleton.lastError());
        std::string const text = utf8(singleton.lastErrorText());
        EXPECT_EQ(0u, text.find(c.text)) << text;
        std::string const reason =
            c.error == EBADFD ? "not a regular file" : utf8(gt::core::systemErrorText(c.error));
        EXPECT_NE(std::string::npos, text.find(": " + reason)) << text;
        EXPECT_EQ("precious data", dir.readFile("victim"));
        EXPECT_FALSE(dir.exists("absent"));
        EXPECT_FALSE(singleton.unlock());
    }
    TempDir dir;
    ProcessSingleton holder(dir.str("svr.lock"));
    ProcessSingleton second(dir.str("svr.lock"));
    ASSERT_TRUE(holder.tryLock());
    EXPECT_EQ(0, holder.lastError());
    EXPECT_FALSE(second.tryLock());
    EXPECT_EQ(EWOULDBLOCK, second.lastError());
    EXPECT_TRUE(second.lastErrorText().isEmpty());
}

// A child process that tries the lock, reports the outcome on a pipe and
// then holds on until its parent says goodbye (or kills it).
struct Child {
    pid_t pid = -1;
    int report = -1;
    int hold = -1;

    static Child start(String const& path) {
        int up[2];
        int down[2];
        if (pipe(up) != 0 || pipe(down) != 0) return Child();
        pid_t pid = fork();
        if (pid == 0) {
            close(up[0]);
            close(down[1]);
            ProcessSingleton lock(path);
            char result = lock.tryLock() ? '1' : '0';
            if (write(up[1], &result, 1) != 1) _exit(3);
            // Siblings hold copies of this pipe's write end, so the parent
            // says goodbye with a byte rather than by closing it.
            char ignored;
            if (read(down[0], &ignored, 1) < 0) _exit(4);
            // Ends without unlocking, like a crash.
            _exit(0);
        }
        close(up[1]);
        close(down[0]);
        Child child;
        child.pid = pid;
        child.report = up[0];
        child.hold = down[1];
        return child;
    }
    // '1' when the child got the lock, '0' when not, 'x' when it did not say.
    char outcome() {
        char c = 'x';
        if (read(report, &c, 1) != 1) c = 'x';
        return c;
    }
    void end() {
        if (pid <= 0) return;
        char bye = 'q';
        if (write(hold, &bye, 1) != 1) kill(pid, SIGKILL);
        close(hold);
        close(report);
        int status = 0;
        // The child leaves as soon as its pipe closes; a stuck one is killed.
        for (int i = 0; i < 500 && waitpid(pid, &status, WNOHANG) == 0; ++i)
            usleep(10000);
        if (waitpid(pid, &status, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        pid = -1;
    }
};

TEST(ProcessSingleton, ExactlyOneOfManyProcessesHoldsTheLock) {
    TempDir dir;
    String const path = dir.str("svr.lock");
    for (int round = 0; round < 3; ++round) {
        std::vector<Child> children;
        for (int i = 0; i < 8; ++i)
            children.push_back(Child::start(path));
        int holders = 0;
        for (Child& child : children) {
            char c = child.outcome();
            ASSERT_NE(c, 'x');
            holders += c == '1';
        }
        EXPECT_EQ(holders, 1) << "round " << round;
        ProcessSingleton here(path);
        EXPECT_FALSE(here.tryLock());
        for (Child& child : children)
            child.end();
    }
}

TEST(ProcessSingleton, LockOfAProcessThatDiedIsTakenOver) {
    TempDir dir;
    String const path = dir.str("app.lock");
    Child child = Child::start(path);
    ASSERT_EQ(child.outcome(), '1');
    ProcessSingleton here(path);
    EXPECT_FALSE(here.tryLock());
    EXPECT_TRUE(dir.exists("app.lock"));
    child.end();
    ASSERT_TRUE(here.tryLock());
    EXPECT_EQ(dir.readFile("app.lock"), utf8(here.token()));
}

}  // namespace
