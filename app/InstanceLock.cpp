#include "app/InstanceLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "gt/core/io/NativePath.h"
#include "gt/core/io/Path.h"
#include "gt/core/io/Thread.h"
#include "gt/core/util/Timer.h"

using gt::core::String;

namespace tunnel {

InstanceLock::Outcome InstanceLock::take(ProcessSingleton* lock, String* reason) {
    if (reason) reason->clear();
    if (lock == nullptr) return FAILED;
    if (lock->tryLock()) return TAKEN;
    if (lock->lastError() != EWOULDBLOCK && removeNonRegular(lock->path()) && lock->tryLock()) return TAKEN;
    if (lock->lastError() == EWOULDBLOCK) return RUNNING;
    if (reason) *reason = lock->lastErrorText();
    return FAILED;
}

bool InstanceLock::removeNonRegular(String const& path) {
    String folder = gt::core::dirName(path);
    if (folder.isEmpty()) folder = u".";
    std::string const name = gt::core::detail::nativePath(gt::core::baseName(path));
    std::string const nativeFolder = gt::core::detail::nativePath(folder);
    if (name.empty() || nativeFolder.empty()) return false;
    int const dir = ::open(nativeFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return false;
    gt::core::Timer deadline(FOLDER_LOCK_MS);
    int rc;
    for (;;) {
        rc = ::flock(dir, LOCK_EX | LOCK_NB);
        if (rc == 0 || (errno != EWOULDBLOCK && errno != EINTR) || deadline.isExpired()) break;
        gt::core::Thread::sleep(10);
    }
    bool removed = false;
    struct stat st;
    // Looked at and removed by name inside the opened folder: a folder
    // swapped in meanwhile cannot redirect the removal.
    if (rc == 0 && ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode))
        removed = ::unlinkat(dir, name.c_str(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) == 0;
    ::close(dir);
    return removed;
}

}  // namespace tunnel
