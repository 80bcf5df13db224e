// One running instance per computer: the holder keeps a lock file in the
// shared data folder open with an exclusive lock and proves the file is
// its own by writing a random token into it and reading it back.
//
// The file is never deleted before it is locked: whoever locked the path's
// file checks that the path still names that file, so two instances can
// never both hold the lock, and only the holder deletes it. Only a regular
// file at the path itself is taken: a link there is never followed, so it
// cannot make the lock cut another file.
#pragma once

#include <memory>

#include "gt/core/io/RandomAccessFile.h"
#include "gt/core/lang/String.h"

namespace tunnel {

class ProcessSingleton {
public:
    // Makes a fresh token; holds nothing yet. With createFolder, tryLock
    // first creates the lock file's folder when it is missing.
    explicit ProcessSingleton(gt::core::String const& path, bool createFolder = false);
    ProcessSingleton(ProcessSingleton const&) = delete;
    ProcessSingleton& operator=(ProcessSingleton const&) = delete;
    // unlock().
    virtual ~ProcessSingleton();

    // True when this object now holds the lock; false when another holds it
    // (lastError() EWOULDBLOCK), when the file or its folder cannot be had
    // (another error), and on a second call while this object holds it.
    bool tryLock();
    // Deletes the lock file and lets go of it; true when the file was
    // deleted. An object that does not hold the lock deletes nothing.
    bool unlock();
    bool isLocked() const { return m_file != nullptr; }
    // The system error number of the last tryLock: 0 after a success,
    // EWOULDBLOCK while another holds the lock (or keeps replacing the file).
    int lastError() const { return m_error; }
    // For the log, when the last tryLock failed for another reason than a
    // holder: what could not be done with which path, and why; else empty.
    gt::core::String lastErrorText() const;

    gt::core::String const& token() const { return m_token; }
    gt::core::String const& path() const { return m_path; }

    // Whether the held file begins with this object's token.
    bool _checkToken();

private:
    bool _namesHeldFile() const;
    void _close();

    gt::core::String m_path;
    gt::core::String m_token;
    std::unique_ptr<gt::core::RandomAccessFile> m_file;
    bool m_createFolder;
    int m_error;
    // The failing step was making the folder, not opening the file.
    bool m_folderFailed;
};

}  // namespace tunnel
