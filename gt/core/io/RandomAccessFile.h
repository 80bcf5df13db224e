// The library's one file object: a file opened by path with an open mode,
// an access code and a share code, read and written at a position of its own
// or at a given offset.
//
// Sharing is enforced between our own openings (in this and in other
// processes) with flock on the open file description: share 0 takes an
// exclusive lock, any other share code a shared one, so a file held with
// share 0 cannot be opened again, and the opening fails instead of waiting.
#pragma once

#include <memory>

#include "gt/core/io/ISystemFileObject.h"

namespace gt {
namespace core {

class RandomAccessFile : public ISystemFileObject {
public:
    // Open modes.
    static constexpr int CREATE_NEW = 0;         // fails when the file exists
    static constexpr int OPEN_EXISTING = 1;      // fails when the file is missing
    static constexpr int OPEN_ALWAYS = 2;        // creates the file when missing
    static constexpr int TRUNCATE_EXISTING = 3;  // existing file cut to 0 (needs write access)
    static constexpr int OPEN_APPEND = 4;        // OPEN_ALWAYS, position at the end
    // Added to an open mode: only a regular file opens, and never through a
    // symbolic link at the path (a file that others can replace by a link
    // must not lead us to write where the link points).
    static constexpr int NO_FOLLOW = 0x100;
    // Access codes.
    static constexpr int ACCESS_READ = 1;
    static constexpr int ACCESS_WRITE = 2;
    static constexpr int ACCESS_READ_WRITE = 3;
    // Share codes.
    static constexpr int SHARE_NONE = 0;
    static constexpr int SHARE_READ = 1;
    static constexpr int SHARE_WRITE = 2;
    static constexpr int SHARE_READ_WRITE = 3;

    RandomAccessFile(String const& path, int mode, int access, int share);
    RandomAccessFile(RandomAccessFile const&) = delete;
    RandomAccessFile& operator=(RandomAccessFile const&) = delete;
    ~RandomAccessFile() override;

    int handle() const override;
    bool read(Binary* out, int max) override;
    bool readAt(Binary* out, long long offset, int length) override;
    bool write(Binary const& data) override;
    bool writeAt(Binary const& data, long long offset) override;
    void flush() override;
    bool isOpen() const override;
    bool seek(long long offset, int origin) override;
    long long size() const override;
    long long position() const override;
    bool truncate(long long length) override;
    String path() const override;
    // The system error number of a failed opening, 0 when open: EWOULDBLOCK
    // when another holds the file with a share that excludes ours, EISDIR for
    // a folder; with NO_FOLLOW, ELOOP for a link and EBADFD for any other
    // kind of file that is not a regular one.
    int lastError() const { return m_error; }

private:
    struct OpenFile;

    bool _readAt(Binary* out, long long offset, int max, int* count);
    bool _writeAt(Binary const& data, long long offset);

    std::unique_ptr<OpenFile> m_file;
    int m_error;
};

}  // namespace core
}  // namespace gt
