#include "gt/core/io/RandomAccessFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "gt/core/io/NativePath.h"

namespace gt {
namespace core {

struct RandomAccessFile::OpenFile {
    int fd;
    String path;
    long long position;
    int access;

    ~OpenFile() { ::close(fd); }
};

namespace {

bool canRead(int access) {
    return access == RandomAccessFile::ACCESS_READ || access == RandomAccessFile::ACCESS_READ_WRITE;
}
bool canWrite(int access) {
    return access == RandomAccessFile::ACCESS_WRITE || access == RandomAccessFile::ACCESS_READ_WRITE;
}

int openFlags(int mode, int access) {
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (access == RandomAccessFile::ACCESS_READ_WRITE) {
        flags |= O_RDWR;
    } else if (access == RandomAccessFile::ACCESS_WRITE) {
        flags |= O_WRONLY;
    } else {
        flags |= O_RDONLY;  // "no access" opens read-only and refuses reads itself
    }
    switch (mode) {
        case RandomAccessFile::CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case RandomAccessFile::OPEN_ALWAYS:
        case RandomAccessFile::OPEN_APPEND:
            flags |= O_CREAT;
            break;
        default:
            break;  // OPEN_EXISTING, TRUNCATE_EXISTING (cut after locking) and unknown modes
    }
    return flags;
}

}  // namespace

RandomAccessFile::RandomAccessFile(String const& path, int mode, int access, int share) : m_error(EINVAL) {
    bool const noFollow = (mode & NO_FOLLOW) != 0;
    mode &= ~NO_FOLLOW;
    if (mode == TRUNCATE_EXISTING && !canWrite(access)) return;
    std::string native = detail::nativePath(path);
    if (native.empty()) return;
    int fd;
    do {
        fd = ::open(native.c_str(), openFlags(mode, access) | (noFollow ? O_NOFOLLOW : 0), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_error = errno;
        return;
    }
    auto file = std::unique_ptr<OpenFile>(new OpenFile{fd, path, 0, access});
    file->path.replace(u'\\', u'/');
    // Blocking mode back on: O_NONBLOCK only kept the opening of a FIFO from hanging.
    int fl = ::fcntl(fd, F_GETFL);
    if (fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) < 0) {
        m_error = errno;
        return;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        m_error = errno;
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        m_error = EISDIR;
        return;
    }
    if (noFollow && !S_ISREG(st.st_mode)) {
        m_error = EBADFD;
        return;
    }
    int lock = (share == SHARE_NONE ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int rc;
    do {
        rc = ::flock(fd, lock);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        m_error = errno;
        return;
    }
    // Only now that our lock is held may the content be cut.
    if (mode == TRUNCATE_EXISTING && ::ftruncate(fd, 0) != 0) {
        m_error = errno;
        return;
    }
    if (mode == OPEN_APPEND) file->position = st.st_size;
    m_file = std::move(file);
    m_error = 0;
}

RandomAccessFile::~RandomAccessFile() = default;

int RandomAccessFile::handle() const { return m_file ? m_file->fd : -1; }

bool RandomAccessFile::isOpen() const { return m_file != nullptr; }

long long RandomAccessFile::position() const { return m_file ? m_file->position : 0; }

String RandomAccessFile::path() const { return m_file ? m_file->path : String(); }

long long RandomAccessFile::size() const {
    if (!m_file) return 0;
    struct stat st;
    if (::fstat(m_file->fd, &st) != 0) return 0;
    return st.st_size;
}

bool RandomAccessFile::_readAt(Binary* out, long long offset, int max, int* count) {
    if (!m_file || !out || max < 0 || offset < 0 || !canRead(m_file->access)) return false;
    long long total = size();
    if (offset > total) return false;
    long long available = total - offset;
    int n = available < max ? static_cast<int>(available) : max;
    out->setLength(n);
    int done = 0;
    while (done < n) {
        ssize_t got = ::pread(m_file->fd, out->data() + done, static_cast<size_t>(n - done), offset + done);
        if (got < 0) {
            if (errno == EINTR) continue;
            out->clear();
            return false;
        }
        if (got == 0) break;  // the file shrank meanwhile
        done += static_cast<int>(got);
    }
    out->setLength(done);
    *count = done;
    return true;
}

bool RandomAccessFile::read(Binary* out, int max) {
    int count = 0;
    if (!m_file || !_readAt(out, m_file->position, max, &count)) return false;
    m_file->position += count;
    return true;
}

bool RandomAccessFile::readAt(Binary* out, long long offset, int length) {
    int count = 0;
    return _readAt(out, offset, length, &count);
}

bool RandomAccessFile::_writeAt(Binary const& data, long long offset) {
    if (!m_file || offset < 0 || !canWrite(m_file->access)) return false;
    char const* bytes = data.data();
    long long left = data.length();
    long long at = offset;
    while (left > 0) {
        ssize_t put = ::pwrite(m_file->fd, bytes, static_cast<size_t>(left), at);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (put == 0) return false;
        bytes += put;
        left -= put;
        at += put;
    }
    return true;
}

bool RandomAccessFile::write(Binary const& data) {
    if (!m_file || !_writeAt(data, m_file->position)) return false;
    m_file->position += data.length();
    return true;
}

bool RandomAccessFile::writeAt(Binary const& data, long long offset) { return _writeAt(data, offset); }

void RandomAccessFile::flush() {}

bool RandomAccessFile::seek(long long offset, int origin) {
    if (!m_file) return false;
    long long base = 0;
    if (origin == 1) {
        base = m_file->position;
    } else if (origin == 2) {
        struct stat st;
        if (::fstat(m_file->fd, &st) != 0) return false;
        base = st.st_size;
    }
    long long target;
    if (__builtin_add_overflow(base, offset, &target) || target < 0) return false;
    m_file->position = target;
    return true;
}

bool RandomAccessFile::truncate(long long length) {
    if (!m_file || length < 0 || !canWrite(m_file->access)) return false;
    int rc;
    do {
        rc = ::ftruncate(m_file->fd, length);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return false;
    if (m_file->position > length) m_file->position = length;
    return true;
}

}  // namespace core
}  // namespace gt
