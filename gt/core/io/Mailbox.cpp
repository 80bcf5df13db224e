#include "gt/core/io/Mailbox.h"

#include <errno.h>

#include "gt/core/io/File.h"
#include "gt/core/io/FileSystem.h"
#include "gt/core/io/Path.h"
#include "gt/core/io/RandomAccessFile.h"

namespace gt {
namespace core {

namespace {

// The mailbox itself, never what a link at its path points to.
constexpr int kMailboxMode = RandomAccessFile::OPEN_EXISTING | RandomAccessFile::NO_FOLLOW;

}  // namespace

Mailbox::Taken Mailbox::take(String const& path, int maxSize, Binary* out) {
    if (out == nullptr || maxSize < 0) return NOTHING;
    out->clear();
    RandomAccessFile file(path, kMailboxMode, RandomAccessFile::ACCESS_READ,
                          RandomAccessFile::SHARE_READ_WRITE);
    if (!file.isOpen()) {
        // Absent, or not a file of ours: a fresh empty mailbox takes its
        // place (a folder stays, it cannot be replaced). A file someone holds
        // exclusively is left to its holder.
        if (file.lastError() == EWOULDBLOCK) return NOTHING;
        createDirectories(dirName(path));
        replace(path, Binary());
        return NOTHING;
    }
    long long const size = file.size();
    if (size <= 0) return NOTHING;
    Taken taken = MESSAGE;
    if (size > maxSize) {
        taken = OVERSIZED;
    } else if (!file.read(out, maxSize) || file.size() > file.position()) {
        // Grown since the size was taken: past the cap it is no message
        // either, below it the whole of it is read next time.
        out->clear();
        if (file.size() <= maxSize) return NOTHING;
        taken = OVERSIZED;
    }
    replace(path, Binary());
    return taken;
}

bool Mailbox::send(String const& path, Binary const& bytes) {
    RandomAccessFile file(path, kMailboxMode, RandomAccessFile::ACCESS_WRITE,
                          RandomAccessFile::SHARE_READ_WRITE);
    return file.isOpen() && file.size() == 0 && file.write(bytes);
}

bool Mailbox::isEmpty(String const& path) {
    RandomAccessFile file(path, kMailboxMode, RandomAccessFile::ACCESS_READ,
                          RandomAccessFile::SHARE_READ_WRITE);
    return file.isOpen() && file.size() == 0;
}

bool Mailbox::replace(String const& path, Binary const& bytes, bool whileEmpty) {
    String const temporary = path + u".new";
    File::remove(temporary);
    if (File::create(temporary, bytes) && (!whileEmpty || isEmpty(path)) && File::replace(temporary, path)) {
        return true;
    }
    File::remove(temporary);
    return false;
}

}  // namespace core
}  // namespace gt
