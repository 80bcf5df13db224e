#include "svr/service/FileSignal.h"

#include "gt/core/io/File.h"
#include "gt/core/io/FileSystem.h"
#include "gt/core/io/Path.h"

using gt::core::Binary;
using gt::core::File;
using gt::core::String;

namespace tunnel {

FileSignal::FileSignal(String const& path) : m_path(path) { File::remove(m_path); }

FileSignal::~FileSignal() { File::remove(m_path); }

bool FileSignal::receive(Binary* out) {
    if (out == nullptr) return false;
    if (!File::isFile(m_path)) {
        gt::core::createDirectories(gt::core::dirName(m_path));
        File::write(m_path, Binary());
        return false;
    }
    long long const size = File::size(m_path);
    if (size <= 0) return false;
    if (size > MAX_SIZE) {
        out->clear();
    } else if (!File::readAll(m_path, out, MAX_SIZE)) {
        // Grown past the cap since the size was taken: not a command either.
        if (File::size(m_path) <= MAX_SIZE) return false;
        out->clear();
    }
    return File::write(m_path, Binary());
}

bool FileSignal::send(String const& path, Binary const& bytes) {
    if (!File::isFile(path)) return false;
    if (File::size(path) != 0) return false;
    return File::write(path, bytes);
}

}  // namespace tunnel
