#include "gt/core/io/FileSystem.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "gt/core/io/File.h"
#include "gt/core/io/NativePath.h"
#include "gt/core/io/Path.h"
#include "gt/core/util/Array.h"

namespace gt {
namespace core {

namespace {

struct Entry {
    std::string name;  // as the kernel gives it (UTF-8)
    bool directory;    // a real folder, not a link to one
};

// The entries of one folder except "." and "..", in byte order of the names.
bool readFolder(std::string const& native, std::vector<Entry>& entries) {
    entries.clear();
    DIR* dir = ::opendir(native.c_str());
    if (!dir) return false;
    while (dirent* item = ::readdir(dir)) {
        char const* name = item->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        bool directory = item->d_type == DT_DIR;
        if (item->d_type == DT_UNKNOWN) {
            struct stat st;
            directory = ::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back({name, directory});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](Entry const& a, Entry const& b) { return a.name < b.name; });
    return true;
}

std::string folderPath(String const& dir) { return detail::nativePath(trimTrailingSeparators(dir)); }

bool walk(std::string const& native, std::string const& prefix, bool files, bool recursive,
          std::vector<String>& out) {
    std::vector<Entry> entries;
    if (!readFolder(native, entries)) return false;
    for (auto const& e : entries) {
        if (e.directory != files) {
            std::string name = prefix + e.name;
            out.push_back(detail::fromNativePath(name.data(), static_cast<int>(name.size())));
        }
    }
    if (!recursive) return true;
    // A subfolder that cannot be read adds nothing.
    for (auto const& e : entries) {
        if (e.directory) walk(native + "/" + e.name, prefix + e.name + "/", files, true, out);
    }
    return true;
}

int count(String const& dir, bool files) {
    std::vector<Entry> entries;
    if (!readFolder(folderPath(dir), entries)) return 0;
    return static_cast<int>(std::count_if(entries.begin(), entries.end(),
                                          [files](Entry const& e) { return e.directory != files; }));
}

bool isFolder(std::string const& native) {
    struct stat st;
    return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A link standing where a copy goes is taken away first, so that the copy
// never writes through it to a place outside the target tree.
void removeLink(std::string const& native) {
    struct stat st;
    if (::lstat(native.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(native.c_str());
}

// Deletes everything below native, deepest first, never following a link.
void removeBelow(std::string const& native) {
    std::vector<Entry> entries;
    if (!readFolder(native, entries)) return;
    for (auto const& e : entries) {
        std::string path = native + "/" + e.name;
        if (e.directory) {
            removeBelow(path);
            ::rmdir(path.c_str());
        } else {
            File::remove(detail::fromNativePath(path.data(), static_cast<int>(path.size())));
        }
    }
}

void toArray(std::vector<String>& names, Array<String>& out) {
    out.clear();
    out.reserve(static_cast<int>(names.size()));
    for (auto& name : names)
        out.add(std::move(name));
}

void list(String const& dir, bool files, bool recursive, Array<String>& out) {
    std::vector<String> names;
    detail::listEntries(dir, files, recursive, names);
    toArray(names, out);
}

}  // namespace

namespace detail {

bool listEntries(String const& dir, bool files, bool recursive, std::vector<String>& out) {
    out.clear();
    std::string native = folderPath(dir);
    if (native.empty()) {
        errno = ENOENT;
        return false;
    }
    return walk(native, std::string(), files, recursive, out);
}

}  // namespace detail

bool renameFile(String const& from, String const& to) { return File::move(from, to); }

bool isDirectory(String const& path) {
    std::string native = folderPath(path);
    return !native.empty() && isFolder(native);
}

bool removeDirectory(String const& path) {
    std::string native = folderPath(path);
    return !native.empty() && ::rmdir(native.c_str()) == 0;
}

DateTime lastWriteTime(String const& path) { return File::lastWriteTime(path); }

DateTime creationTime(String const& path) { return File::creationTime(path); }

void listFiles(String const& dir, Array<String>& out) { list(dir, true, false, out); }

void listDirectories(String const& dir, Array<String>& out) { list(dir, false, false, out); }

void listFilesRecursive(String const& dir, Array<String>& out) { list(dir, true, true, out); }

void listDirectoriesRecursive(String const& dir, Array<String>& out) { list(dir, false, true, out); }

void listFiles(String const& dir, Array<String>& out, bool recursive) { list(dir, true, recursive, out); }

void listDirectories(String const& dir, Array<String>& out, bool recursive) {
    list(dir, false, recursive, out);
}

int countFiles(String const& dir) { return count(dir, true); }

int countDirectories(String const& dir) { return count(dir, false); }

bool createDirectories(String const& path, int mode) {
    String normal = normalizePath(path);
    if (normal.isEmpty()) {
        errno = EINVAL;
        return false;
    }
    if (isDirectory(normal)) return true;
    std::string native = detail::nativePath(normal);
    // Walk the levels; a leading '/' (or several) stays in the prefix.
    std::string prefix;
    size_t start = 0;
    int failure = 0;
    while (start <= native.size()) {
        size_t end = native.find('/', start);
        if (end == std::string::npos) end = native.size();
        if (end > start) {
            prefix.append(native, start, end - start);
            if (!isFolder(prefix) && ::mkdir(prefix.c_str(), static_cast<mode_t>(mode)) != 0 &&
                errno != EEXIST && failure == 0) {
                failure = errno;
            }
        }
        prefix.push_back('/');
        start = end + 1;
    }
    if (isFolder(native)) return true;
    // The first level that could not be made tells why; a file in the way
    // gives ENOTDIR.
    errno = failure != 0 ? failure : ENOTDIR;
    return false;
}

void removeDirectoryContents(String const& dir) {
    std::string native = folderPath(dir);
    if (native.empty()) return;
    removeBelow(native);
}

bool copyDirectoryTree(String const& from, String const& to) {
    std::string source = folderPath(from);
    std::string target = folderPath(to);
    if (source.empty() || target.empty() || !isFolder(source)) return false;
    if (!createDirectories(to)) return false;
    std::vector<String> names;
    detail::listEntries(from, false, true, names);
    for (auto const& name : names) {
        std::string path = target + "/" + detail::nativePath(name);
        removeLink(path);
        if (!isFolder(path) && ::mkdir(path.c_str(), 0777) != 0) return false;
    }
    detail::listEntries(from, true, true, names);
    for (auto const& name : names) {
        std::string relative = detail::nativePath(name);
        std::string src = source + "/" + relative;
        std::string dst = target + "/" + relative;
        struct stat st;
        if (::lstat(src.c_str(), &st) != 0) return false;
        removeLink(dst);
        if (S_ISLNK(st.st_mode)) {
            // A link is copied as a link.
            std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
            ssize_t n = ::readlink(src.c_str(), &link[0], link.size());
            if (n < 0 || static_cast<size_t>(n) >= link.size()) return false;
            link.resize(static_cast<size_t>(n));
            ::unlink(dst.c_str());
            if (::symlink(link.c_str(), dst.c_str()) != 0) return false;
        } else if (!File::copy(detail::fromNativePath(src.data(), static_cast<int>(src.size())),
                               detail::fromNativePath(dst.data(), static_cast<int>(dst.size())))) {
            return false;
        }
    }
    return true;
}

}  // namespace core
}  // namespace gt
