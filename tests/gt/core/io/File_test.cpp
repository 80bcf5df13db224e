#include "gt/core/io/File.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "gt/core/io/FileSystem.h"
#include "gt/core/io/RandomAccessFile.h"
#include "support/TempDir.h"
#include "support/Text.h"

using gt::core::Binary;
using gt::core::File;
using gt::core::RandomAccessFile;
using gt::core::String;
using gt::test::bin;
using gt::test::bytes;
using gt::test::TempDir;

namespace {

class FileTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(FileTest, ReadAll) {
    Binary out(3, 'z');
    EXPECT_FALSE(File::readAll(dir.str("missing"), &out));
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(File::readAll(dir.str("missing")).isEmpty());
    dir.writeFile("empty", "");
    EXPECT_TRUE(File::readAll(dir.str("empty"), &out));
    EXPECT_TRUE(out.isEmpty());
    dir.writeFile("data", std::string("a\0b\r\n", 5));
    EXPECT_TRUE(File::readAll(dir.str("data"), &out));
    EXPECT_EQ(bytes(out), std::string("a\0b\r\n", 5));
    EXPECT_FALSE(File::readAll(dir.str("data"), nullptr));
    EXPECT_FALSE(File::readAll(dir.str(), &out));  // a folder
}

// A link or a FIFO is refused at once: its size says nothing and a FIFO's
// read may never end.
TEST_F(FileTest, ReadAllReadsOnlyARegularFileAtThePathItself) {
    dir.writeFile("data", "bytes");
    ASSERT_EQ(::symlink(dir.path("data").c_str(), dir.path("link").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.path("fifo").c_str(), 0600), 0);
    int const writer = ::open(dir.path("fifo").c_str(), O_RDWR | O_CLOEXEC);  // a writer that never writes
    ASSERT_GE(writer, 0);
    Binary out(3, 'z');
    EXPECT_FALSE(File::readAll(dir.str("link"), &out));
    EXPECT_TRUE(out.isEmpty());
    EXPECT_FALSE(File::readAll(dir.str("fifo"), &out));
    ::close(writer);
    EXPECT_TRUE(File::readAll(dir.str("data"), &out));
    EXPECT_EQ(bytes(out), "bytes");
}

TEST_F(FileTest, ReadAllRefusesFilesAboveTheLimit) {
    dir.writeFile("data", "0123456789");
    Binary out;
    EXPECT_TRUE(File::readAll(dir.str("data"), &out, 10));
    EXPECT_EQ(bytes(out), "0123456789");
    EXPECT_FALSE(File::readAll(dir.str("data"), &out, 9));
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(File::readAll(dir.str("data"), 9).isEmpty());
    EXPECT_FALSE(File::readAll(dir.str("data"), &out, -1));
}

TEST_F(FileTest, WriteReplacesTheWholeContent) {
    dir.writeFile("f", "a much longer old content");
    EXPECT_TRUE(File::write(dir.str("f"), bin("new")));
    EXPECT_EQ(dir.readFile("f"), "new");
    EXPECT_TRUE(File::write(dir.str("f"), Binary()));
    EXPECT_TRUE(dir.exists("f"));
    EXPECT_EQ(dir.readFile("f"), "");
    EXPECT_FALSE(File::write(dir.str("no/such/f"), bin("x")));
}

TEST_F(FileTest, WriteReplacingSwapsInAPrivateFileAndLeavesNoTemporary) {
    dir.writeFile("f", "old");
    // A reader that opened the old file keeps reading the old content whole.
    int held = ::open(dir.path("f").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    EXPECT_TRUE(File::writeReplacing(dir.str("f"), bin("new content")));
    char buffer[64];
    ssize_t n = ::read(held, buffer, sizeof buffer);
    ::close(held);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0u), "old");
    EXPECT_EQ(dir.readFile("f"), "new content");
    struct stat st;
    ASSERT_EQ(::stat(dir.path("f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A folder where the file should be, and a missing folder: nothing changes.
    ASSERT_EQ(::mkdir(dir.path("blocked").c_str(), 0700), 0);
    EXPECT_FALSE(File::writeReplacing(dir.str("blocked"), bin("x")));
    EXPECT_FALSE(File::writeReplacing(dir.str("no/such/f"), bin("x")));
    EXPECT_FALSE(File::writeReplacing(String(), bin("x")));
    EXPECT_EQ(gt::core::countFiles(dir.str()), 1);  // no temporary file left behind
}

TEST_F(FileTest, AppendCreatesAndExtends) {
    EXPECT_TRUE(File::append(dir.str("log"), bin("one\r\n")));
    EXPECT_TRUE(File::append(dir.str("log"), bin("two\r\n")));
    EXPECT_EQ(dir.readFile("log"), "one\r\ntwo\r\n");
}

TEST_F(FileTest, CopyOverwrites) {
    dir.writeFile("a", "source");
    dir.writeFile("b", "a longer destination");
    EXPECT_TRUE(File::copy(dir.str("a"), dir.str("b")));
    EXPECT_EQ(dir.readFile("b"), "source");
    EXPECT_EQ(dir.readFile("a"), "source");
    EXPECT_FALSE(File::copy(dir.str("missing"), dir.str("c")));
    EXPECT_FALSE(dir.exists("c"));
    // Larger than one copy block.
    std::string big(200000, 'x');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    dir.writeFile("big", big);
    EXPECT_TRUE(File::copy(dir.str("big"), dir.str("big2")));
    EXPECT_EQ(dir.readFile("big2"), big);
}

TEST_F(FileTest, CopyOntoItselfKeepsTheFile) {
    dir.writeFile("a", "precious");
    EXPECT_FALSE(File::copy(dir.str("a"), dir.str("a")));
    ASSERT_EQ(::symlink(dir.path("a").c_str(), dir.path("link").c_str()), 0);
    EXPECT_FALSE(File::copy(dir.str("a"), dir.str("link")));
    EXPECT_EQ(dir.readFile("a"), "precious");
}

TEST_F(FileTest, CopyKeepsThePermissions) {
    dir.writeFile("tool", "#!/bin/sh\n");
    ::chmod(dir.path("tool").c_str(), 0750);
    ASSERT_TRUE(File::copy(dir.str("tool"), dir.str("tool2")));
    struct stat st;
    ASSERT_EQ(::stat(dir.path("tool2").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST_F(FileTest, MoveNeverReplaces) {
    dir.writeFile("a", "A");
    dir.writeFile("b", "B");
    EXPECT_FALSE(File::move(dir.str("a"), dir.str("b")));
    EXPECT_EQ(dir.readFile("a"), "A");
    EXPECT_EQ(dir.readFile("b"), "B");
    EXPECT_TRUE(File::move(dir.str("a"), dir.str("c")));
    EXPECT_FALSE(dir.exists("a"));
    EXPECT_EQ(dir.readFile("c"), "A");
    EXPECT_FALSE(File::move(dir.str("missing"), dir.str("d")));
}

// Create and replace never write through a link: a link in the way fails
// the creation and is itself replaced by the rename.
TEST_F(FileTest, CreateAndReplaceLeaveWhatALinkPointsTo) {
    dir.writeFile("victim", "keep");
    ASSERT_EQ(::symlink(dir.path("victim").c_str(), dir.path("link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.path("absent").c_str(), dir.path("dangling").c_str()), 0);
    EXPECT_FALSE(File::create(dir.str("link"), bin("new")));
    EXPECT_FALSE(File::create(dir.str("dangling"), bin("new")));
    EXPECT_FALSE(dir.exists("absent"));
    ASSERT_TRUE(File::create(dir.str("fresh"), bin("new")));
    EXPECT_EQ(dir.readFile("fresh"), "new");
    EXPECT_FALSE(File::create(dir.str("fresh"), bin("other")));
    EXPECT_EQ(dir.readFile("fresh"), "new");

    ASSERT_TRUE(File::replace(dir.str("fresh"), dir.str("link")));
    EXPECT_FALSE(dir.exists("fresh"));
    EXPECT_EQ(dir.readFile("link"), "new");
    struct stat st;
    ASSERT_EQ(::lstat(dir.path("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(dir.readFile("victim"), "keep");

    ::mkdir(dir.path("folder").c_str(), 0700);
    EXPECT_FALSE(File::replace(dir.str("link"), dir.str("folder")));
    EXPECT_FALSE(File::replace(dir.str("missing"), dir.str("other")));
}

TEST_F(FileTest, Remove) {
    dir.writeFile("ro", "x");
    ::chmod(dir.path("ro").c_str(), 0444);
    EXPECT_TRUE(File::remove(dir.str("ro")));
    EXPECT_FALSE(dir.exists("ro"));
    EXPECT_FALSE(File::remove(dir.str("ro")));
    ::mkdir(dir.path("sub").c_str(), 0700);
    EXPECT_FALSE(File::remove(dir.str("sub")));
    EXPECT_TRUE(dir.exists("sub"));
}

TEST_F(FileTest, RemoveTakesTheLinkNotItsTarget) {
    dir.writeFile("target", "keep");
    ASSERT_EQ(::symlink(dir.path("target").c_str(), dir.path("link").c_str()), 0);
    EXPECT_TRUE(File::remove(dir.str("link")));
    EXPECT_FALSE(dir.exists("link"));
    EXPECT_EQ(dir.readFile("target"), "keep");
}

TEST_F(FileTest, RemoveRefusesAnExclusivelyHeldFile) {
    dir.writeFile("held", "x");
    {
        RandomAccessFile holder(dir.str("held"), RandomAccessFile::OPEN_EXISTING,
                                RandomAccessFile::ACCESS_READ, RandomAccessFile::SHARE_NONE);
        ASSERT_TRUE(holder.isOpen());
        EXPECT_FALSE(File::remove(dir.str("held")));
        EXPECT_TRUE(dir.exists("held"));
    }
    {
        RandomAccessFile shared(dir.str("held"), RandomAccessFile::OPEN_EXISTING,
                                RandomAccessFile::ACCESS_READ, RandomAccessFile::SHARE_READ_WRITE);
        EXPECT_TRUE(File::remove(dir.str("held")));
    }
}

TEST_F(FileTest, IsFileAndSize) {
    dir.writeFile("f", "12345");
    EXPECT_TRUE(File::isFile(dir.str("f")));
    EXPECT_EQ(File::size(dir.str("f")), 5);
    EXPECT_FALSE(File::isFile(dir.str()));
    EXPECT_EQ(File::size(dir.str()), 0);
    EXPECT_FALSE(File::isFile(dir.str("missing")));
    EXPECT_EQ(File::size(dir.str("missing")), 0);
    String backslashed = dir.str() + u"\\f";
    EXPECT_TRUE(File::isFile(backslashed));
}

}  // namespace
