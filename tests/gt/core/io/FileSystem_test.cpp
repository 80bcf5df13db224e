#include "gt/core/io/FileSystem.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <vector>

#include "gt/core/io/RandomAccessFile.h"
#include "gt/core/util/Array.h"
#include "support/TempDir.h"
#include "support/Text.h"

using gt::core::Array;
using gt::core::String;
using gt::test::TempDir;
using gt::test::utf8;

namespace {

std::vector<std::string> names(Array<String> const& list) {
    std::vector<std::string> out;
    for (auto const& s : list)
        out.push_back(utf8(s));
    return out;
}

// A tree with files and folders at two levels, an empty folder and links to
// a file and to a folder outside the tree.
class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (char const* d : {"tree", "tree/b", "tree/a", "tree/a/deep", "tree/empty", "outside"}) {
            ASSERT_EQ(::mkdir(dir.path(d).c_str(), 0700), 0);
        }
        dir.writeFile("tree/z.txt", "z");
        dir.writeFile("tree/1.txt", "1");
        dir.writeFile("tree/a/x", "ax");
        dir.writeFile("tree/a/deep/y", "ady");
        dir.writeFile("tree/b/w", "bw");
        dir.writeFile("outside/keep", "keep");
        ASSERT_EQ(::symlink(dir.path("outside").c_str(), dir.path("tree/b/dirlink").c_str()), 0);
        ASSERT_EQ(::symlink(dir.path("outside/keep").c_str(), dir.path("tree/filelink").c_str()), 0);
    }

    TempDir dir;
};

TEST_F(FileSystemTest, FlatListings) {
    Array<String> out;
    out.add(String(u"stale"));
    gt::core::listFiles(dir.str("tree"), out);
    EXPECT_EQ(names(out), (std::vector<std::string>{"1.txt", "filelink", "z.txt"}));
    gt::core::listDirectories(dir.str("tree") + u"/", out);
    EXPECT_EQ(names(out), (std::vector<std::string>{"a", "b", "empty"}));
    EXPECT_EQ(gt::core::countFiles(dir.str("tree")), 3);
    EXPECT_EQ(gt::core::countDirectories(dir.str("tree")), 3);
    gt::core::listFiles(dir.str("missing"), out);
    EXPECT_EQ(out.count(), 0);
    EXPECT_EQ(gt::core::countFiles(dir.str("missing")), 0);
    EXPECT_EQ(gt::core::countDirectories(dir.str("tree/1.txt")), 0);
    // The vector form tells an empty folder from one that cannot be read.
    std::vector<String> entries{String(u"stale")};
    EXPECT_TRUE(gt::core::detail::listEntries(dir.str("tree/empty"), true, false, entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(gt::core::detail::listEntries(dir.str("missing"), true, false, entries));
    EXPECT_FALSE(gt::core::detail::listEntries(dir.str("tree/1.txt"), true, false, entries));
}

TEST_F(FileSystemTest, RecursiveListingsNeverFollowLinks) {
    Array<String> out;
    gt::core::listFilesRecursive(dir.str("tree"), out);
    EXPECT_EQ(names(out), (std::vector<std::string>{"1.txt", "filelink", "z.txt", "a/x", "a/deep/y",
                                                    "b/dirlink", "b/w"}));
    gt::core::listDirectoriesRecursive(dir.str("tree"), out);
    EXPECT_EQ(names(out), (std::vector<std::string>{"a", "b", "empty", "a/deep"}));
    gt::core::listFiles(dir.str("tree"), out, true);
    EXPECT_EQ(out.count(), 7);
    gt::core::listDirectories(dir.str("tree"), out, false);
    EXPECT_EQ(out.count(), 3);
}

TEST_F(FileSystemTest, IsDirectory) {
    EXPECT_TRUE(gt::core::isDirectory(dir.str("tree")));
    EXPECT_TRUE(gt::core::isDirectory(dir.str("tree") + u"\\a\\"));
    EXPECT_FALSE(gt::core::isDirectory(dir.str("tree/1.txt")));
    EXPECT_FALSE(gt::core::isDirectory(dir.str("missing")));
    EXPECT_FALSE(gt::core::isDirectory(String()));
}

TEST_F(FileSystemTest, CreateDirectories) {
    String deep = dir.str() + u"\\x/y\\z";
    EXPECT_TRUE(gt::core::createDirectories(deep));
    EXPECT_TRUE(gt::core::isDirectory(dir.str("x/y/z")));
    EXPECT_TRUE(gt::core::createDirectories(deep));  // already there
    EXPECT_TRUE(gt::core::createDirectories(dir.str("x//w/")));
    EXPECT_TRUE(gt::core::isDirectory(dir.str("x/w")));
    // A failure leaves its reason in errno, for the caller's log line.
    struct Failure {
        char const* path;
        int error;
    } const failures[] = {{"tree/1.txt/sub", ENOTDIR}, {"tree/1.txt", ENOTDIR}};
    for (Failure const& f : failures) {
        SCOPED_TRACE(f.path);
        errno = 0;
        EXPECT_FALSE(gt::core::createDirectories(dir.str(f.path)));
        EXPECT_EQ(errno, f.error);
    }
    EXPECT_FALSE(gt::core::createDirectories(String()));

    // Every level made gets the mode asked for; levels that were there keep theirs.
    ASSERT_EQ(::chmod(dir.path("x").c_str(), 0750), 0);
    ASSERT_TRUE(gt::core::createDirectories(dir.str("x/private/inner"), 0700));
    struct stat st;
    for (char const* level : {"x/private", "x/private/inner"}) {
        ASSERT_EQ(::stat(dir.path(level).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << level;
    }
    ASSERT_EQ(::stat(dir.path("x").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST_F(FileSystemTest, RemoveDirectory) {
    EXPECT_FALSE(gt::core::removeDirectory(dir.str("tree/a")));  // not empty
    EXPECT_TRUE(gt::core::removeDirectory(dir.str("tree/empty/")));
    EXPECT_FALSE(dir.exists("tree/empty"));
    EXPECT_FALSE(gt::core::removeDirectory(dir.str("tree/empty")));
}

TEST_F(FileSystemTest, RemoveContentsKeepsTheFolderAndWhatLinksPointTo) {
    gt::core::removeDirectoryContents(dir.str("tree"));
    EXPECT_TRUE(gt::core::isDirectory(dir.str("tree")));
    EXPECT_EQ(gt::core::countFiles(dir.str("tree")) + gt::core::countDirectories(dir.str("tree")), 0);
    EXPECT_EQ(dir.readFile("outside/keep"), "keep");
}

TEST_F(FileSystemTest, RemoveContentsSkipsExclusivelyHeldFiles) {
    gt::core::RandomAccessFile held(dir.str("tree/a/x"), gt::core::RandomAccessFile::OPEN_EXISTING,
                                    gt::core::RandomAccessFile::ACCESS_READ,
                                    gt::core::RandomAccessFile::SHARE_NONE);
    ASSERT_TRUE(held.isOpen());
    gt::core::removeDirectoryContents(dir.str("tree"));
    EXPECT_TRUE(dir.exists("tree/a/x"));
    EXPECT_FALSE(dir.exists("tree/b"));
}

TEST_F(FileSystemTest, CopyTree) {
    ASSERT_TRUE(gt::core::copyDirectoryTree(dir.str("tree"), dir.str("copy/of/tree")));
    Array<String> original, copy;
    gt::core::listFilesRecursive(dir.str("tree"), original);
    gt::core::listFilesRecursive(dir.str("copy/of/tree"), copy);
    EXPECT_EQ(names(copy), names(original));
    gt::core::listDirectoriesRecursive(dir.str("copy/of/tree"), copy);
    EXPECT_EQ(names(copy), (std::vector<std::string>{"a", "b", "empty", "a/deep"}));
    EXPECT_EQ(dir.readFile("copy/of/tree/a/deep/y"), "ady");
    // Links stay links.
    char target[4096];
    ssize_t n = ::readlink(dir.path("copy/of/tree/b/dirlink").c_str(), target, sizeof target);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(target, static_cast<size_t>(n)), dir.path("outside"));
}

TEST_F(FileSystemTest, CopyTreeOverwritesAndNeverWritesThroughLinks) {
    ASSERT_EQ(::mkdir(dir.path("dest").c_str(), 0700), 0);
    dir.writeFile("dest/z.txt", "old and longer");
    // A link in the target where the copy puts a file must not lead it outside.
    ASSERT_EQ(::symlink(dir.path("outside/keep").c_str(), dir.path("dest/1.txt").c_str()), 0);
    ASSERT_TRUE(gt::core::copyDirectoryTree(dir.str("tree"), dir.str("dest")));
    EXPECT_EQ(dir.readFile("dest/z.txt"), "z");
    EXPECT_EQ(dir.readFile("dest/1.txt"), "1");
    EXPECT_EQ(dir.readFile("outside/keep"), "keep");
}

TEST_F(FileSystemTest, CopyTreeFailures) {
    EXPECT_FALSE(gt::core::copyDirectoryTree(dir.str("missing"), dir.str("dest")));
    EXPECT_FALSE(gt::core::copyDirectoryTree(dir.str("tree"), dir.str("tree/1.txt/sub")));
}

TEST_F(FileSystemTest, RenameAndTimes) {
    EXPECT_FALSE(gt::core::renameFile(dir.str("tree/1.txt"), dir.str("tree/z.txt")));
    EXPECT_TRUE(gt::core::renameFile(dir.str("tree/1.txt"), dir.str("tree/2.txt")));
    EXPECT_TRUE(dir.exists("tree/2.txt"));
    struct timeval times[2] = {{1700000000, 0}, {1700000123, 500000}};
    ASSERT_EQ(::utimes(dir.path("tree/2.txt").c_str(), times), 0);
    EXPECT_EQ(gt::core::lastWriteTime(dir.str("tree/2.txt")).seconds(), 1700000123);
    EXPECT_EQ(gt::core::lastWriteTime(dir.str("missing")).seconds(), 0);
    EXPECT_EQ(gt::core::creationTime(dir.str("missing")).seconds(), 0);
    EXPECT_GT(gt::core::creationTime(dir.str("tree")).seconds(), 0);
}

}  // namespace
