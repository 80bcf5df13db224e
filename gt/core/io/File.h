// Operations on whole files by path. Failures are reported through the
// results only.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class DateTime;

class File {
public:
    static constexpr int NO_LIMIT = 2147483647;

    // The whole file. A file larger than limit bytes is refused (false, out
    // emptied) rather than read in part: files that other processes write
    // are read with a small limit so that they cannot make us allocate
    // without bound. Only a regular file at the path itself is read: a link
    // or a FIFO (whose size says nothing and whose read may never end) is
    // refused.
    static bool readAll(String const& path, Binary* out, int limit = NO_LIMIT);
    // The content, or an empty Binary on any failure.
    static Binary readAll(String const& path, int limit = NO_LIMIT);
    // Creates or replaces the content.
    static bool write(String const& path, Binary const& data);
    // Creates a new file holding the data; fails when anything is at the
    // path already (a link too, which is never followed). A file whose write
    // failed is removed again.
    static bool create(String const& path, Binary const& data);
    // Replaces the content as one step: the bytes go to a private temporary
    // file (mode 0600) in the same folder, reach the disk, and the file is
    // renamed over path, so a reader in another process sees the old content
    // or the new, never a part. False (path untouched, the temporary file
    // gone) on any failure, with errno telling why.
    static bool writeReplacing(String const& path, Binary const& data);
    // Creates the file when missing and writes at its end.
    static bool append(String const& path, Binary const& data);
    // Overwrites an existing destination; copying a file onto itself fails.
    static bool copy(String const& source, String const& destination);
    // Fails when the destination exists or lies on another file system.
    static bool move(String const& source, String const& destination);
    // Renames source over destination in one step: whatever the destination
    // names (a file, a link) is replaced itself, never written through.
    // Fails across file systems and onto a folder.
    static bool replace(String const& source, String const& destination);
    // Deletes a file (a read-only one too). A symbolic link is removed
    // itself, never what it points to. A file that someone holds open
    // exclusively (share 0) is not removed.
    static bool remove(String const& path);
    // Exists and is not a directory.
    static bool isFile(String const& path);
    // 0 when missing or a directory.
    static long long size(String const& path);
    // Seconds since 1970; DateTime 0 when missing. Folders too.
    static DateTime lastWriteTime(String const& path);
    // The birth time where the file system keeps one, else the last-write time.
    static DateTime creationTime(String const& path);
};

}  // namespace core
}  // namespace gt
