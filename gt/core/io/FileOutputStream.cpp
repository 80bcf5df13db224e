#include "gt/core/io/FileOutputStream.h"

namespace gt {
namespace core {

FileOutputStream::FileOutputStream(String const& path, bool append)
    : m_file(path, append ? RandomAccessFile::OPEN_APPEND : RandomAccessFile::OPEN_ALWAYS,
             RandomAccessFile::ACCESS_WRITE, RandomAccessFile::SHARE_READ),
      m_usable(append || m_file.truncate(0)) {}

FileOutputStream::~FileOutputStream() { flush(); }

bool FileOutputStream::write(Binary const& data) { return m_usable && m_file.write(data); }

void FileOutputStream::flush() { m_file.flush(); }

}  // namespace core
}  // namespace gt
