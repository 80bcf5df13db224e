// Folders on disk: test, list, count, create, empty and copy. Every path is
// normalised first (a backslash counts as '/'). Failures give false, 0, an
// empty list or DateTime 0; nothing throws.
//
// Symbolic links are entries, never followed: a link is listed among the
// files (whatever it points to), recursion never descends into one, emptying
// a folder removes the link itself and copying a tree copies it as a link.
#pragma once

#include <vector>

#include "gt/core/lang/String.h"
#include "gt/core/util/DateTime.h"

namespace gt {
namespace core {

template <class T>
class Array;

// Fails when the target exists.
bool renameFile(String const& from, String const& to);
bool isDirectory(String const& path);
// Empty folders only.
bool removeDirectory(String const& path);
DateTime lastWriteTime(String const& path);
DateTime creationTime(String const& path);

// Names relative to dir, in byte order of the names within each folder;
// nested names join their parts with '/'. A folder that cannot be read gives
// an empty list.
void listFiles(String const& dir, Array<String>& out);
void listDirectories(String const& dir, Array<String>& out);
// The files of dir, then depth first those of each subfolder, prefixed with
// its name.
void listFilesRecursive(String const& dir, Array<String>& out);
// The subfolders of dir, then depth first those of each subfolder.
void listDirectoriesRecursive(String const& dir, Array<String>& out);
void listFiles(String const& dir, Array<String>& out, bool recursive);
void listDirectories(String const& dir, Array<String>& out, bool recursive);
int countFiles(String const& dir);
int countDirectories(String const& dir);

// Creates every missing level with mode (before the umask; 0700 keeps a
// private folder private); true when the whole path is a folder at the end.
// On failure errno holds the reason of the first level that could not be made.
bool createDirectories(String const& path, int mode = 0777);
// Deletes everything below dir (deepest first); dir itself stays. Failures
// are not reported.
void removeDirectoryContents(String const& dir);
// Creates to and every folder of from below it, then copies every file,
// overwriting; false at the first failure.
bool copyDirectoryTree(String const& from, String const& to);

namespace detail {
// The listing behind the functions above, into a standard vector; false
// (errno set) when dir itself cannot be read.
bool listEntries(String const& dir, bool files, bool recursive, std::vector<String>& out);
}  // namespace detail

}  // namespace core
}  // namespace gt
