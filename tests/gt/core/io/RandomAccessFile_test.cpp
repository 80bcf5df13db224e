#include "gt/core/io/RandomAccessFile.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "gt/core/io/FileOutputStream.h"
#include "support/TempDir.h"
#include "support/Text.h"

using gt::core::Binary;
using gt::core::FileOutputStream;
using gt::core::RandomAccessFile;
using gt::core::String;
using gt::test::bin;
using gt::test::bytes;
using gt::test::TempDir;

namespace {

using RAF = RandomAccessFile;

class RandomAccessFileTest : public ::testing::Test {
protected:
    TempDir dir;
    String ten() {
        dir.writeFile("ten", "0123456789");
        return dir.str("ten");
    }
};

TEST_F(RandomAccessFileTest, OpenModes) {
    struct Case {
        char const* name;
        bool exists;
        int mode;
        int access;
        bool open;
        long long size;      // after opening
        long long position;  // after opening
    } const cases[] = {
        {"create new on existing", true, RAF::CREATE_NEW, RAF::ACCESS_READ_WRITE, false, 10, 0},
        {"create new on missing", false, RAF::CREATE_NEW, RAF::ACCESS_READ_WRITE, true, 0, 0},
        {"open existing on missing", false, RAF::OPEN_EXISTING, RAF::ACCESS_READ, false, -1, 0},
        {"open existing", true, RAF::OPEN_EXISTING, RAF::ACCESS_READ, true, 10, 0},
        {"open always on missing", false, RAF::OPEN_ALWAYS, RAF::ACCESS_WRITE, true, 0, 0},
        {"open always keeps content", true, RAF::OPEN_ALWAYS, RAF::ACCESS_WRITE, true, 10, 0},
        {"truncate existing", true, RAF::TRUNCATE_EXISTING, RAF::ACCESS_READ_WRITE, true, 0, 0},
        {"truncate needs write access", true, RAF::TRUNCATE_EXISTING, RAF::ACCESS_READ, false, 10, 0},
        {"truncate on missing", false, RAF::TRUNCATE_EXISTING, RAF::ACCESS_WRITE, false, -1, 0},
        {"append", true, RAF::OPEN_APPEND, RAF::ACCESS_WRITE, true, 10, 10},
        {"append on missing", false, RAF::OPEN_APPEND, RAF::ACCESS_WRITE, true, 0, 0},
        {"unknown mode opens existing", true, 9, RAF::ACCESS_READ, true, 10, 0},
        {"unknown mode on missing", false, 9, RAF::ACCESS_READ, false, -1, 0},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.name);
        std::string name = std::string("f_") + std::to_string(&c - cases);
        if (c.exists) dir.writeFile(name, "0123456789");
        {
            RAF f(dir.str(name), c.mode, c.access, RAF::SHARE_READ_WRITE);
            EXPECT_EQ(f.isOpen(), c.open);
            if (c.open) {
                EXPECT_GE(f.handle(), 0);
                EXPECT_EQ(f.size(), c.size);
                EXPECT_EQ(f.position(), c.position);
            }
        }
        if (c.size >= 0) {
            EXPECT_EQ(static_cast<long long>(dir.readFile(name).size()), c.size);
        } else {
            EXPECT_FALSE(dir.exists(name));
        }
    }
}

TEST_F(RandomAccessFileTest, ClosedObjectFailsEverything) {
    RAF f(dir.str("missing"), RAF::OPEN_EXISTING, RAF::ACCESS_READ_WRITE, RAF::SHARE_READ_WRITE);
    Binary out;
    EXPECT_FALSE(f.isOpen());
    EXPECT_EQ(f.handle(), -1);
    EXPECT_FALSE(f.read(&out, 4));
    EXPECT_FALSE(f.readAt(&out, 0, 4));
    EXPECT_FALSE(f.write(bin("x")));
    EXPECT_FALSE(f.writeAt(bin("x"), 0));
    EXPECT_FALSE(f.seek(0, 0));
    EXPECT_FALSE(f.truncate(0));
    EXPECT_EQ(f.size(), 0);
    EXPECT_EQ(f.position(), 0);
    EXPECT_TRUE(f.path().isEmpty());
    f.flush();
}

TEST_F(RandomAccessFileTest, DirectoryIsNotAFile) {
    RAF f(dir.str(), RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_READ_WRITE);
    EXPECT_FALSE(f.isOpen());
    EXPECT_EQ(f.lastError(), EISDIR);
}

// A file that others may replace by a link or a FIFO: with NO_FOLLOW only a
// regular file at the path itself opens, and what a link points to is never
// created, cut or written.
TEST_F(RandomAccessFileTest, NoFollowOpensOnlyARegularFileItself) {
    dir.writeFile("victim", "keep");
    ASSERT_EQ(::symlink(dir.path("victim").c_str(), dir.path("link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.path("absent").c_str(), dir.path("dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.path("fifo").c_str(), 0600), 0);
    ::mkdir(dir.path("folder").c_str(), 0700);
    dir.writeFile("plain", "abc");
    struct Case {
        char const* name;
        int mode;
        bool open;
        int error;
    } const cases[] = {
        {"link", RAF::OPEN_EXISTING, false, ELOOP},     {"link", RAF::OPEN_ALWAYS, false, ELOOP},
        {"link", RAF::TRUNCATE_EXISTING, false, ELOOP}, {"dangling", RAF::OPEN_ALWAYS, false, ELOOP},
        {"dangling", RAF::CREATE_NEW, false, EEXIST},   {"fifo", RAF::OPEN_EXISTING, false, EBADFD},
        {"folder", RAF::OPEN_EXISTING, false, EISDIR},  {"missing", RAF::OPEN_EXISTING, false, ENOENT},
        {"plain", RAF::OPEN_EXISTING, true, 0},         {"plain", RAF::TRUNCATE_EXISTING, true, 0},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " mode " + std::to_string(c.mode));
        RAF f(dir.str(c.name), c.mode | RAF::NO_FOLLOW, RAF::ACCESS_READ_WRITE, RAF::SHARE_READ_WRITE);
        EXPECT_EQ(f.isOpen(), c.open);
        EXPECT_EQ(f.lastError(), c.error);
    }
    EXPECT_EQ(dir.readFile("victim"), "keep");
    EXPECT_FALSE(dir.exists("absent"));
    EXPECT_EQ(dir.readFile("plain"), "");
    // Without the flag a link is followed as before.
    RAF followed(dir.str("link"), RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_READ_WRITE);
    EXPECT_TRUE(followed.isOpen());
    EXPECT_EQ(followed.size(), 4);
}

TEST_F(RandomAccessFileTest, LastErrorTellsAHeldFileFromAMissingOne) {
    String path = ten();
    RAF holder(path, RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_NONE);
    ASSERT_TRUE(holder.isOpen());
    EXPECT_EQ(holder.lastError(), 0);
    RAF second(path, RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_READ);
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(second.lastError(), EWOULDBLOCK);
}

TEST_F(RandomAccessFileTest, BackslashesAreSeparators) {
    ::mkdir(dir.path("sub").c_str(), 0700);
    dir.writeFile("sub/a", "abc");
    String path = dir.str() + u"\\sub\\a";
    RAF f(path, RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_READ_WRITE);
    ASSERT_TRUE(f.isOpen());
    EXPECT_EQ(gt::test::utf8(f.path()), dir.path("sub/a"));
}

TEST_F(RandomAccessFileTest, SequentialReads) {
    dir.writeFile("six", "abcdef");
    RAF f(dir.str("six"), RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_READ);
    Binary out(3, 'z');
    ASSERT_TRUE(f.read(&out, 0));
    EXPECT_TRUE(out.isEmpty());
    ASSERT_TRUE(f.read(&out, 4));
    EXPECT_EQ(bytes(out), "abcd");
    ASSERT_TRUE(f.read(&out, 4));
    EXPECT_EQ(bytes(out), "ef");
    EXPECT_EQ(f.position(), 6);
    ASSERT_TRUE(f.read(&out, 4));
    EXPECT_TRUE(out.isEmpty());
    EXPECT_FALSE(f.read(nullptr, 4));
    EXPECT_FALSE(f.read(&out, -1));
    ASSERT_TRUE(f.seek(7, 0));
    EXPECT_FALSE(f.read(&out, 4));  // beyond the end
    EXPECT_EQ(f.position(), 7);
}

TEST_F(RandomAccessFileTest, AccessCodesAreEnforced) {
    String path = ten();
    Binary out;
    RAF readOnly(path, RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_READ_WRITE);
    EXPECT_FALSE(readOnly.write(bin("x")));
    EXPECT_FALSE(readOnly.truncate(0));
    EXPECT_EQ(readOnly.position(), 0);
    RAF writeOnly(path, RAF::OPEN_EXISTING, RAF::ACCESS_WRITE, RAF::SHARE_READ_WRITE);
    EXPECT_FALSE(writeOnly.read(&out, 4));
    RAF noAccess(path, RAF::OPEN_EXISTING, 0, RAF::SHARE_READ_WRITE);
    ASSERT_TRUE(noAccess.isOpen());
    EXPECT_EQ(noAccess.size(), 10);
    EXPECT_FALSE(noAccess.read(&out, 4));
    EXPECT_FALSE(noAccess.write(bin("x")));
    EXPECT_EQ(dir.readFile("ten"), "0123456789");
}

TEST_F(RandomAccessFileTest, OffsetOperationsKeepThePosition) {
    RAF f(ten(), RAF::OPEN_EXISTING, RAF::ACCESS_READ_WRITE, RAF::SHARE_NONE);
    ASSERT_TRUE(f.seek(2, 0));
    Binary out;
    ASSERT_TRUE(f.readAt(&out, 5, 3));
    EXPECT_EQ(bytes(out), "567");
    ASSERT_TRUE(f.readAt(&out, 8, 5));
    EXPECT_EQ(bytes(out), "89");
    ASSERT_TRUE(f.readAt(&out, 10, 5));
    EXPECT_TRUE(out.isEmpty());
    EXPECT_FALSE(f.readAt(&out, 11, 1));
    EXPECT_FALSE(f.readAt(&out, 0, -1));
    EXPECT_FALSE(f.readAt(&out, -1, 1));
    ASSERT_TRUE(f.writeAt(bin("XY"), 0));
    ASSERT_TRUE(f.writeAt(bin("Z"), 12));  // leaves a hole of zero bytes
    EXPECT_EQ(f.position(), 2);
    EXPECT_EQ(f.size(), 13);
    ASSERT_TRUE(f.write(bin("ab")));
    EXPECT_EQ(f.position(), 4);
    EXPECT_EQ(dir.readFile("ten"), std::string("XYab456789\0\0Z", 13));
}

TEST_F(RandomAccessFileTest, Seek) {
    RAF f(ten(), RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_READ);
    struct Case {
        long long offset;
        int origin;
        bool ok;
        long long position;
    } const cases[] = {
        {4, 0, true, 4},
        {3, 1, true, 7},
        {-3, 2, true, 7},
        {-1, 0, false, 7},
        {-8, 1, false, 7},
        {20, 0, true, 20},
        {0, 2, true, 10},
        {-11, 2, false, 10},
        {5, 7, true, 5},  // unknown origins count from the beginning
        {0x7fffffffffffffffLL, 1, false, 5},
    };
    for (auto const& c : cases) {
        EXPECT_EQ(f.seek(c.offset, c.origin), c.ok) << c.offset << " from " << c.origin;
        EXPECT_EQ(f.position(), c.position) << c.offset << " from " << c.origin;
    }
}

TEST_F(RandomAccessFileTest, TruncatePullsBackThePosition) {
    RAF f(ten(), RAF::OPEN_EXISTING, RAF::ACCESS_READ_WRITE, RAF::SHARE_NONE);
    ASSERT_TRUE(f.seek(0, 2));
    ASSERT_TRUE(f.truncate(4));
    EXPECT_EQ(f.position(), 4);
    EXPECT_EQ(f.size(), 4);
    ASSERT_TRUE(f.seek(2, 0));
    ASSERT_TRUE(f.truncate(8));
    EXPECT_EQ(f.position(), 2);
    EXPECT_EQ(f.size(), 8);
    EXPECT_FALSE(f.truncate(-1));
    EXPECT_EQ(dir.readFile("ten"), std::string("0123\0\0\0\0", 8));
}

TEST_F(RandomAccessFileTest, AppendModeWritesAtTheEnd) {
    RAF f(ten(), RAF::OPEN_APPEND, RAF::ACCESS_WRITE, RAF::SHARE_READ);
    EXPECT_EQ(f.position(), 10);
    ASSERT_TRUE(f.write(bin("ab")));
    EXPECT_EQ(dir.readFile("ten"), "0123456789ab");
}

// Share 0 holds the file exclusively against every other opening, also one
// made by this very process; other share codes coexist.
TEST_F(RandomAccessFileTest, ShareModesWithinOneProcess) {
    String path = ten();
    struct Case {
        int first;
        int second;
        bool secondOpens;
    } const cases[] = {
        {RAF::SHARE_NONE, RAF::SHARE_NONE, false},
        {RAF::SHARE_NONE, RAF::SHARE_READ_WRITE, false},
        {RAF::SHARE_READ_WRITE, RAF::SHARE_NONE, false},
        {RAF::SHARE_READ, RAF::SHARE_WRITE, true},
        {RAF::SHARE_READ_WRITE, RAF::SHARE_READ_WRITE, true},
    };
    for (auto const& c : cases) {
        RAF first(path, RAF::OPEN_EXISTING, RAF::ACCESS_READ_WRITE, c.first);
        ASSERT_TRUE(first.isOpen());
        RAF second(path, RAF::OPEN_EXISTING, RAF::ACCESS_READ, c.second);
        EXPECT_EQ(second.isOpen(), c.secondOpens) << c.first << " then " << c.second;
    }
    // Released with the object.
    RAF again(path, RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_NONE);
    EXPECT_TRUE(again.isOpen());
}

TEST_F(RandomAccessFileTest, RefusedTruncateLeavesTheContent) {
    String path = ten();
    RAF holder(path, RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_NONE);
    RAF cutter(path, RAF::TRUNCATE_EXISTING, RAF::ACCESS_WRITE, RAF::SHARE_READ_WRITE);
    EXPECT_FALSE(cutter.isOpen());
    FileOutputStream stream(path, false);
    EXPECT_FALSE(stream.isOpen());
    EXPECT_EQ(dir.readFile("ten"), "0123456789");
}

TEST_F(RandomAccessFileTest, ShareNoneAcrossProcesses) {
    String path = ten();
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RAF held(path, RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_NONE);
        char c = held.isOpen() ? 'y' : 'n';
        if (::write(ready[1], &c, 1) != 1) ::_exit(1);
        ::read(done[0], &c, 1);  // hold until the parent has tried
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, 'y');
    {
        RAF other(path, RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_READ_WRITE);
        EXPECT_FALSE(other.isOpen());
    }
    ASSERT_EQ(::write(done[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    RAF after(path, RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_NONE);
    EXPECT_TRUE(after.isOpen());
    for (int fd : {ready[0], ready[1], done[0], done[1]})
        ::close(fd);
}

TEST_F(RandomAccessFileTest, DescriptorsAreCloseOnExec) {
    RAF f(ten(), RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_READ);
    int flags = ::fcntl(f.handle(), F_GETFD);
    EXPECT_TRUE(flags & FD_CLOEXEC);
}

TEST_F(RandomAccessFileTest, OutputStreamReplacesOrAppends) {
    dir.writeFile("big", std::string(100, 'q'));
    {
        FileOutputStream stream(dir.str("big"), false);
        ASSERT_TRUE(stream.isOpen());
        EXPECT_TRUE(stream.write(bin("abc")));
    }
    EXPECT_EQ(dir.readFile("big"), "abc");
    dir.writeFile("big", std::string(100, 'q'));
    {
        FileOutputStream stream(dir.str("big"), true);
        EXPECT_TRUE(stream.write(bin("abc")));
        stream.flush();
    }
    EXPECT_EQ(dir.readFile("big"), std::string(100, 'q') + "abc");
    FileOutputStream missingFolder(dir.str("no/such"), false);
    EXPECT_FALSE(missingFolder.isOpen());
    EXPECT_FALSE(missingFolder.write(bin("x")));
}

TEST_F(RandomAccessFileTest, OutputStreamLetsOthersRead) {
    FileOutputStream stream(dir.str("log"), false);
    ASSERT_TRUE(stream.write(bin("line")));
    RAF reader(dir.str("log"), RAF::OPEN_EXISTING, RAF::ACCESS_READ, RAF::SHARE_READ_WRITE);
    ASSERT_TRUE(reader.isOpen());
    Binary out;
    ASSERT_TRUE(reader.read(&out, 100));
    EXPECT_EQ(bytes(out), "line");
}

}  // namespace
