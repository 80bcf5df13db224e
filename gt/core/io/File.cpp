#include "gt/core/io/File.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "gt/core/io/FileOutputStream.h"
#include "gt/core/io/NativePath.h"
#include "gt/core/io/RandomAccessFile.h"
#include "gt/core/util/DateTime.h"
#include "gt/core/util/GUID.h"

namespace gt {
namespace core {

namespace {

constexpr int COPY_BLOCK = 1 << 16;

// Whole seconds since 1970, cut toward zero like the system's file times.
long long secondsOf(long long sec, long long nsec) { return sec < 0 && nsec > 0 ? sec + 1 : sec; }

}  // namespace

bool File::readAll(String const& path, Binary* out, int limit) {
    if (!out) return false;
    out->clear();
    if (limit < 0) return false;
    RandomAccessFile file(path, RandomAccessFile::OPEN_EXISTING | RandomAccessFile::NO_FOLLOW,
                          RandomAccessFile::ACCESS_READ, RandomAccessFile::SHARE_READ_WRITE);
    if (!file.isOpen() || file.size() > limit) return false;
    if (!file.read(out, limit)) return false;
    // The file may have grown since its size was taken.
    if (file.size() > file.position()) {
        out->clear();
        return false;
    }
    return true;
}

Binary File::readAll(String const& path, int limit) {
    Binary data;
    if (!readAll(path, &data, limit)) data.clear();
    return data;
}

bool File::write(String const& path, Binary const& data) {
    FileOutputStream stream(path, false);
    return stream.isOpen() && stream.write(data);
}

bool File::create(String const& path, Binary const& data) {
    bool written;
    {
        RandomAccessFile file(path, RandomAccessFile::CREATE_NEW | RandomAccessFile::NO_FOLLOW,
                              RandomAccessFile::ACCESS_WRITE, RandomAccessFile::SHARE_READ);
        if (!file.isOpen()) return false;
        written = file.write(data);
    }
    if (!written) ::unlink(detail::nativePath(path).c_str());
    return written;
}

bool File::writeReplacing(String const& path, Binary const& data) {
    std::string const target = detail::nativePath(path);
    if (target.empty()) {
        errno = EINVAL;
        return false;
    }
    std::string const temporary = target + "." + detail::nativePath(GUID().toString()) + ".tmp";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    int error = 0;
    int done = 0;
    while (done < data.length()) {
        ssize_t n = ::write(fd, data.data() + done, static_cast<size_t>(data.length() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<int>(n);
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) == 0) return true;
    if (error == 0) error = errno;
    ::unlink(temporary.c_str());
    errno = error;
    return false;
}

bool File::append(String const& path, Binary const& data) {
    FileOutputStream stream(path, true);
    return stream.isOpen() && stream.write(data);
}

bool File::copy(String const& source, String const& destination) {
    RandomAccessFile from(source, RandomAccessFile::OPEN_EXISTING, RandomAccessFile::ACCESS_READ,
                          RandomAccessFile::SHARE_READ);
    if (!from.isOpen()) return false;
    struct stat fromStat;
    if (::fstat(from.handle(), &fromStat) != 0 || !S_ISREG(fromStat.st_mode)) return false;
    // Opening the destination must not cut the source when both are one file.
    struct stat toStat;
    std::string to = detail::nativePath(destination);
    if (::stat(to.c_str(), &toStat) == 0 && toStat.st_dev == fromStat.st_dev &&
        toStat.st_ino == fromStat.st_ino) {
        return false;
    }
    RandomAccessFile target(destination, RandomAccessFile::OPEN_ALWAYS, RandomAccessFile::ACCESS_WRITE,
                            RandomAccessFile::SHARE_NONE);
    if (!target.isOpen() || !target.truncate(0)) return false;
    ::fchmod(target.handle(), fromStat.st_mode & 07777);
    Binary block;
    for (;;) {
        if (!from.read(&block, COPY_BLOCK)) return false;
        if (block.isEmpty()) return true;
        if (!target.write(block)) return false;
    }
}

bool File::move(String const& source, String const& destination) {
    std::string from = detail::nativePath(source);
    std::string to = detail::nativePath(destination);
    if (from.empty() || to.empty()) return false;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without RENAME_NOREPLACE: test, then rename.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0 || errno != ENOENT) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool File::replace(String const& source, String const& destination) {
    std::string from = detail::nativePath(source);
    std::string to = detail::nativePath(destination);
    return !from.empty() && !to.empty() && ::rename(from.c_str(), to.c_str()) == 0;
}

bool File::remove(String const& path) {
    std::string native = detail::nativePath(path);
    if (native.empty()) return false;
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (S_ISREG(st.st_mode)) {
        int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
        if (fd >= 0) {
            // A shared lock is refused only while someone holds the file with share 0.
            int rc;
            do {
                rc = ::flock(fd, LOCK_SH | LOCK_NB);
            } while (rc != 0 && errno == EINTR);
            bool held = rc != 0 && errno == EWOULDBLOCK;
            bool removed = !held && ::unlink(native.c_str()) == 0;
            ::close(fd);
            return removed;
        }
    }
    return ::unlink(native.c_str()) == 0;
}

bool File::isFile(String const& path) {
    std::string native = detail::nativePath(path);
    struct stat st;
    return !native.empty() && ::stat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

long long File::size(String const& path) {
    std::string native = detail::nativePath(path);
    struct stat st;
    if (native.empty() || ::stat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
    return st.st_size;
}

DateTime File::lastWriteTime(String const& path) {
    std::string native = detail::nativePath(path);
    struct stat st;
    if (native.empty() || ::stat(native.c_str(), &st) != 0) return DateTime(0);
    return DateTime(secondsOf(st.st_mtim.tv_sec, st.st_mtim.tv_nsec));
}

DateTime File::creationTime(String const& path) {
    std::string native = detail::nativePath(path);
    struct statx st;
    if (native.empty() || ::statx(AT_FDCWD, native.c_str(), 0, STATX_BTIME | STATX_MTIME, &st) != 0) {
        return DateTime(0);
    }
    // A file system that keeps no birth time gives the last-write time.
    if (st.stx_mask & STATX_BTIME) return DateTime(secondsOf(st.stx_btime.tv_sec, st.stx_btime.tv_nsec));
    return DateTime(secondsOf(st.stx_mtime.tv_sec, st.stx_mtime.tv_nsec));
}

}  // namespace core
}  // namespace gt
