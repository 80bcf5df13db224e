#include "svr/service/FileSignal.h"

#include "gt/core/io/File.h"
#include "gt/core/io/Mailbox.h"

using gt::core::Binary;
using gt::core::File;
using gt::core::String;

namespace tunnel {

FileSignal::FileSignal(String const& path) : m_path(path) { File::remove(m_path); }

FileSignal::~FileSignal() { File::remove(m_path); }

bool FileSignal::receive(Binary* out) {
    if (out == nullptr) return false;
    return gt::core::Mailbox::take(m_path, MAX_SIZE, out) != gt::core::Mailbox::NOTHING;
}

}  // namespace tunnel
