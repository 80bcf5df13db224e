#include "svr/service/FileSignal.h"

#include <errno.h>

#include "gt/core/io/File.h"
#include "gt/core/io/FileSystem.h"
#include "gt/core/io/Path.h"
#include "gt/core/io/RandomAccessFile.h"

using gt::core::Binary;
using gt::core::File;
using gt::core::RandomAccessFile;
using gt::core::String;

namespace tunnel {

namespace {

// The mailbox itself, never what a link at its path points to.
constexpr int kMailboxMode = RandomAccessFile::OPEN_EXISTING | RandomAccessFile::NO_FOLLOW;

}  // namespace

FileSignal::FileSignal(String const& path) : m_path(path) { File::remove(m_path); }

FileSignal::~FileSignal() { File::remove(m_path); }

bool FileSignal::receive(Binary* out) {
    if (out == nullptr) return false;
    RandomAccessFile file(m_path, kMailboxMode, RandomAccessFile::ACCESS_READ,
                          RandomAccessFile::SHARE_READ_WRITE);
    if (!file.isOpen()) {
        // Absent, or not a file of ours: a fresh empty mailbox takes its
        // place (a folder stays, it cannot be replaced). A file someone holds
        // exclusively is left to its holder.
        if (file.lastError() == EWOULDBLOCK) return false;
        gt::core::createDirectories(gt::core::dirName(m_path));
        replace(m_path, Binary());
        return false;
    }
    long long const size = file.size();
    if (size <= 0) return false;
    if (size > MAX_SIZE) {
        out->clear();
    } else if (!file.read(out, MAX_SIZE) || file.size() > file.position()) {
        // Grown since the size was taken: past the cap it is not a command
        // either, below it the whole of it is read next time.
        if (file.size() <= MAX_SIZE) return false;
        out->clear();
    }
    return replace(m_path, Binary());
}

bool FileSignal::send(String const& path, Binary const& bytes) {
    RandomAccessFile file(path, kMailboxMode, RandomAccessFile::ACCESS_WRITE,
                          RandomAccessFile::SHARE_READ_WRITE);
    return file.isOpen() && file.size() == 0 && file.write(bytes);
}

bool FileSignal::isEmpty(String const& path) {
    RandomAccessFile file(path, kMailboxMode, RandomAccessFile::ACCESS_READ,
                          RandomAccessFile::SHARE_READ_WRITE);
    return file.isOpen() && file.size() == 0;
}

bool FileSignal::replace(String const& path, Binary const& bytes) {
    String const temporary = path + u".new";
    File::remove(temporary);
    if (File::create(temporary, bytes) && File::replace(temporary, path)) return true;
    File::remove(temporary);
    return false;
}

}  // namespace tunnel
