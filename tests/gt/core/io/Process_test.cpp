#include "gt/core/io/Process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <sstream>

#include "gt/core/io/File.h"
#include "gt/core/io/RandomAccessFile.h"
#include "support/TempDir.h"
#include "support/Text.h"
#include "support/Wait.h"

using gt::core::Process;
using gt::core::RandomAccessFile;
using gt::core::String;
using gt::test::str;
using gt::test::TempDir;
using gt::test::waitFor;

namespace {

String helper(char const* args) {
    return str((std::string("\"") + GT_CORE_TEST_HELPER + "\" " + args).c_str());
}

bool ended(Process const& p) {
    return waitFor([&] { return !p.isRunning(); });
}

// True when the pid is gone entirely (no zombie left behind).
bool reaped(int pid) {
    return waitFor([&] { return ::kill(pid, 0) != 0; });
}

TEST(Process, FreshObject) {
    EXPECT_TRUE(Process().wait(0));
    Process p;
    EXPECT_FALSE(p.isStarted());
    EXPECT_FALSE(p.isRunning());
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.pid(), -1);
    p.kill();
    p.close();
}

TEST(Process, ExitCodes) {
    for (int code : {0, 1, 102, 255}) {
        Process p;
        ASSERT_TRUE(p.start(str(("/bin/sh -c \"exit " + std::to_string(code) + "\"").c_str())));
        EXPECT_TRUE(p.isStarted());
        EXPECT_GT(p.pid(), 0);
        ASSERT_TRUE(ended(p));
        EXPECT_EQ(p.exitCode(), code);
        EXPECT_TRUE(p.isStarted());
    }
}

TEST(Process, StillActiveWhileRunningAndKillGivesNine) {
    Process p;
    ASSERT_TRUE(p.start(String(u"/bin/sleep 30")));
    EXPECT_TRUE(p.isRunning());
    EXPECT_EQ(p.exitCode(), Process::STILL_ACTIVE);
    // A bounded wait on a child that goes on ends without it.
    EXPECT_FALSE(p.wait(50));
    EXPECT_TRUE(p.isRunning());
    p.kill();
    ASSERT_TRUE(p.wait(10000));
    EXPECT_FALSE(p.isRunning());
    EXPECT_EQ(p.exitCode(), 9);
    int pid = p.pid();
    p.close();
    EXPECT_TRUE(reaped(pid));
}

TEST(Process, SecondStartIsRefusedUntilClose) {
    Process p;
    ASSERT_TRUE(p.start(String(u"/bin/sh -c \"exit 3\"")));
    int first = p.pid();
    EXPECT_FALSE(p.start(String(u"/bin/sh -c \"exit 4\"")));
    ASSERT_TRUE(ended(p));
    EXPECT_FALSE(p.start(String(u"/bin/sh -c \"exit 4\"")));
    EXPECT_EQ(p.pid(), first);
    EXPECT_EQ(p.exitCode(), 3);
    p.close();
    EXPECT_EQ(p.pid(), -1);
    ASSERT_TRUE(p.start(String(u"/bin/sh -c \"exit 4\"")));
    ASSERT_TRUE(ended(p));
    EXPECT_EQ(p.exitCode(), 4);
}

TEST(Process, RefusedStarts) {
    Process p;
    EXPECT_FALSE(p.start(String(u"")));
    EXPECT_FALSE(p.start(String(u"   \"\"  ")));
    EXPECT_FALSE(p.start(String(u"/no/such/program")));
    EXPECT_FALSE(p.start(String(65535, u'a')));
    Process::StartInfo info;
    info.commandLine = u"/bin/echo x";
    info.userName = u"someone";
    EXPECT_FALSE(p.start(info));
    EXPECT_FALSE(p.isStarted());
}

TEST(Process, ArgumentsAreSplitWithoutAShell) {
    TempDir dir;
    RandomAccessFile out(dir.str("out"), RandomAccessFile::OPEN_ALWAYS, RandomAccessFile::ACCESS_WRITE,
                         RandomAccessFile::SHARE_READ_WRITE);
    Process::StartInfo info;
    info.commandLine = u"/bin/echo  \"a  b\"  $HOME;x \"\" c\"d e\"f";
    info.redirectOutput = true;
    info.stdOutput = &out;
    Process p;
    ASSERT_TRUE(p.start(info));
    ASSERT_TRUE(ended(p));
    EXPECT_EQ(dir.readFile("out"), "a  b $HOME;x cd ef\n");
}

TEST(Process, ArgumentVectorsReachTheChildAsTheyAre) {
    TempDir dir;
    RandomAccessFile out(dir.str("out"), RandomAccessFile::OPEN_ALWAYS, RandomAccessFile::ACCESS_WRITE,
                         RandomAccessFile::SHARE_READ_WRITE);
    Process::StartInfo info;
    // The command line is not read when there are arguments.
    info.commandLine = u"/bin/false";
    info.arguments = {u"/usr/bin/printf", u"[%s]\\n", u"a  b", u"\" -x=\"y", String(), u"$HOME;x"};
    info.redirectOutput = true;
    info.stdOutput = &out;
    Process p;
    ASSERT_TRUE(p.start(info));
    ASSERT_TRUE(ended(p));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(dir.readFile("out"), "[a  b]\n[\" -x=\"y]\n[]\n[$HOME;x]\n");

    Process refused;
    EXPECT_FALSE(refused.start(std::vector<String>{}));
    EXPECT_FALSE(refused.start(std::vector<String>{String(), u"x"}));
    EXPECT_FALSE(refused.isStarted());
}

TEST(Process, RedirectsToFilesAndWorkingDirectory) {
    TempDir dir;
    dir.writeFile("in", "hello from a file");
    RandomAccessFile in(dir.str("in"), RandomAccessFile::OPEN_EXISTING, RandomAccessFile::ACCESS_READ,
                        RandomAccessFile::SHARE_READ_WRITE);
    RandomAccessFile out(dir.str("out"), RandomAccessFile::OPEN_ALWAYS, RandomAccessFile::ACCESS_WRITE,
                         RandomAccessFile::SHARE_READ_WRITE);
    RandomAccessFile err(dir.str("err"), RandomAccessFile::OPEN_ALWAYS, RandomAccessFile::ACCESS_WRITE,
                         RandomAccessFile::SHARE_READ_WRITE);
    Process::StartInfo info;
    info.commandLine = u"/bin/sh -c \"cat; pwd >&2\"";
    info.redirectInput = info.redirectOutput = info.redirectError = true;
    info.stdInput = &in;
    info.stdOutput = &out;
    info.stdError = &err;
    info.workingDirectory = dir.str();
    Process p;
    ASSERT_TRUE(p.start(info));
    ASSERT_TRUE(ended(p));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(dir.readFile("out"), "hello from a file");
    EXPECT_EQ(dir.readFile("err"), dir.path() + "\n");
}

TEST(Process, RedirectWithoutFileGivesTheNullDevice) {
    Process::StartInfo info;
    // Reading gives end of file at once; every stream is the null device.
    info.commandLine =
        u"/bin/sh -c \"cat && test $(readlink /proc/$$/fd/0) = /dev/null"
        u" && test $(readlink /proc/$$/fd/1) = /dev/null"
        u" && test $(readlink /proc/$$/fd/2) = /dev/null\"";
    info.redirectInput = info.redirectOutput = info.redirectError = true;
    Process p;
    ASSERT_TRUE(p.start(info));
    ASSERT_TRUE(ended(p));
    EXPECT_EQ(p.exitCode(), 0);
}

TEST(Process, OnlyTheStandardStreamsAreInherited) {
    TempDir dir;
    // A descriptor of ours without close-on-exec must not reach the child either.
    int leaky = ::open(dir.path("leaky").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(leaky, 3);
    RandomAccessFile held(dir.str("held"), RandomAccessFile::OPEN_ALWAYS, RandomAccessFile::ACCESS_WRITE,
                          RandomAccessFile::SHARE_NONE);
    RandomAccessFile out(dir.str("out"), RandomAccessFile::OPEN_ALWAYS, RandomAccessFile::ACCESS_WRITE,
                         RandomAccessFile::SHARE_READ_WRITE);
    Process::StartInfo info;
    info.commandLine = helper("fds");
    info.redirectOutput = true;
    info.stdOutput = &out;
    Process p;
    ASSERT_TRUE(p.start(info));
    ASSERT_TRUE(ended(p));
    ::close(leaky);
    EXPECT_EQ(p.exitCode(), 0);
    std::istringstream lines(dir.readFile("out"));
    std::set<int> fds;
    for (int fd; lines >> fd;)
        fds.insert(fd);
    EXPECT_EQ(fds, (std::set<int>{0, 1, 2}));
}

TEST(Process, CloseLeavesNoZombie) {
    Process p;
    ASSERT_TRUE(p.start(helper("sleep 50")));
    int pid = p.pid();
    p.close();
    EXPECT_FALSE(p.isStarted());
    EXPECT_TRUE(reaped(pid));
}

TEST(Process, DestructorNeitherWaitsNorKills) {
    int pid;
    {
        Process p;
        ASSERT_TRUE(p.start(helper("sleep 200")));
        pid = p.pid();
    }
    EXPECT_EQ(::kill(pid, 0), 0);  // still running
    EXPECT_TRUE(reaped(pid));
}

// Runs the helper (from the given copy, or the built one) with its output
// in dir/out; the exit code, or -1 when it could not run.
int runHelper(TempDir const& dir, String const& program, char const* args, bool newConsole = false,
              int* pid = nullptr) {
    RandomAccessFile out(dir.str("out"), RandomAccessFile::OPEN_ALWAYS, RandomAccessFile::ACCESS_WRITE,
                         RandomAccessFile::SHARE_READ_WRITE);
    out.truncate(0);
    Process::StartInfo info;
    info.commandLine = u"\"" + program + u"\" " + str(args);
    info.redirectOutput = true;
    info.stdOutput = &out;
    info.newConsole = newConsole;
    Process p;
    if (!p.start(info) || !ended(p)) return -1;
    if (pid) *pid = p.pid();
    return p.exitCode();
}

TEST(Process, NewConsoleStartsASessionOfItsOwn) {
    TempDir dir;
    for (bool newConsole : {false, true}) {
        int child = 0;
        ASSERT_EQ(runHelper(dir, str(GT_CORE_TEST_HELPER), "session", newConsole, &child), 0);
        std::istringstream text(dir.readFile("out"));
        int pid = 0, sid = 0;
        text >> pid >> sid;
        EXPECT_EQ(pid, child);
        EXPECT_EQ(sid == pid, newConsole);
    }
}

// The program path is never cut short, however long it is.
TEST(Process, ProgramFileOfADeeplyPlacedProgram) {
    TempDir dir;
    std::string path = dir.path();
    while (path.size() < 1500) {
        path += "/" + std::string(60, 'd');
        ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    }
    path += "/helper";
    ASSERT_TRUE(gt::core::File::copy(str(GT_CORE_TEST_HELPER), str(path.c_str())));
    ASSERT_EQ(runHelper(dir, str(path.c_str()), "program-file"), 0);
    EXPECT_EQ(dir.readFile("out"), path);
}

TEST(Process, ChildGetsDefaultSignals) {
    // We may ignore SIGPIPE; the child must not inherit that.
    ::signal(SIGPIPE, SIG_IGN);
    Process p;
    ASSERT_TRUE(
        p.start(String(u"/bin/sh -c \"ignored=$(grep SigIgn /proc/$$/status | cut -f2);"
                       u" test $(( 0x$ignored & 0x1000 )) -eq 0\"")));
    ASSERT_TRUE(ended(p));
    EXPECT_EQ(p.exitCode(), 0);
}

}  // namespace
