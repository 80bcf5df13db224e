#include "tunnel/api/ProcessSingleton.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "gt/core/io/FileSystem.h"
#include "gt/core/io/NativePath.h"
#include "gt/core/io/Path.h"
#include "gt/core/lang/SystemError.h"
#include "gt/core/util/GUID.h"

using gt::core::Binary;
using gt::core::RandomAccessFile;
using gt::core::String;

namespace tunnel {

namespace {

// A path that is deleted and made again between our open and our lock
// sends us round once more; more rounds than this means someone keeps
// replacing it, and we give up.
constexpr int kOpenAttempts = 5;

}  // namespace

ProcessSingleton::ProcessSingleton(String const& path, bool createFolder)
    : m_path(path),
      m_token(gt::core::GUID().toString()),
      m_createFolder(createFolder),
      m_error(0),
      m_folderFailed(false) {}

ProcessSingleton::~ProcessSingleton() { unlock(); }

void ProcessSingleton::_close() { m_file.reset(); }

// The held file is still the one the path names (nobody deleted it between
// our open and our lock).
bool ProcessSingleton::_namesHeldFile() const {
    struct stat held;
    struct stat named;
    if (::fstat(m_file->handle(), &held) != 0) return false;
    if (::lstat(gt::core::detail::nativePath(m_path).c_str(), &named) != 0) return false;
    return held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

bool ProcessSingleton::tryLock() {
    if (m_file) return false;
    m_error = 0;
    m_folderFailed = false;
    if (m_createFolder) {
        String const folder = gt::core::dirName(m_path);
        if (!folder.isEmpty() && !gt::core::isDirectory(folder) && !gt::core::createDirectories(folder)) {
            m_error = errno;
            m_folderFailed = true;
            return false;
        }
    }
    for (int attempt = 0; attempt < kOpenAttempts && !m_file; ++attempt) {
        // Exclusive share: the opening fails at once while another holds it.
        m_file = std::make_unique<RandomAccessFile>(
            m_path, RandomAccessFile::OPEN_ALWAYS | RandomAccessFile::NO_FOLLOW,
            RandomAccessFile::ACCESS_READ_WRITE, RandomAccessFile::SHARE_NONE);
        if (!m_file->isOpen()) {
            m_error = m_file->lastError();
            _close();
            return false;
        }
        if (!_namesHeldFile()) _close();
    }
    if (!m_file) {
        m_error = EWOULDBLOCK;
        return false;
    }
    // A stale file of an earlier run is overwritten in place.
    Binary const token = m_token.toBinary();
    errno = 0;
    if (m_file->truncate(0) && m_file->writeAt(token, 0) && _checkToken()) return true;
    m_error = errno != 0 ? errno : EIO;
    unlock();
    return false;
}

String ProcessSingleton::lastErrorText() const {
    if (m_error == 0 || m_error == EWOULDBLOCK) return String();
    String const reason =
        m_error == EBADFD ? String(u"not a regular file") : gt::core::systemErrorText(m_error);
    if (m_folderFailed) return u"Cannot create the folder " + gt::core::dirName(m_path) + u": " + reason;
    return u"Cannot open the lock file " + m_path + u": " + reason;
}

bool ProcessSingleton::_checkToken() {
    if (!m_file) return false;
    Binary const expected = m_token.toBinary();
    Binary read;
    if (!m_file->seek(0, 0) || !m_file->readAt(&read, 0, expected.length())) return false;
    return read == expected;
}

bool ProcessSingleton::unlock() {
    if (!m_file) return false;
    // Deleted while still locked, so no one can take the old file in between.
    bool const removed = ::unlink(gt::core::detail::nativePath(m_path).c_str()) == 0;
    _close();
    return removed;
}

}  // namespace tunnel
