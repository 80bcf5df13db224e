// An output stream that writes one file. Others may read the file meanwhile.
#pragma once

#include "gt/core/io/OutputStream.h"
#include "gt/core/io/RandomAccessFile.h"

namespace gt {
namespace core {

class FileOutputStream : public OutputStream {
public:
    // Creates the file when missing; without append it is cut to length 0,
    // with append writing goes on at its end.
    FileOutputStream(String const& path, bool append);
    ~FileOutputStream() override;

    bool write(Binary const& data) override;
    void flush() override;
    bool isOpen() const { return m_file.isOpen() && m_usable; }

private:
    RandomAccessFile m_file;
    // False when the old content could not be cut: writing over it would
    // leave a mix of new and old bytes.
    bool m_usable;
};

}  // namespace core
}  // namespace gt
