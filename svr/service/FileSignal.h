// The command mailbox of a running service: a file that is absent (no
// instance), empty (ready for a command) or holds one command word. The
// running instance owns it: it deletes it at start and at end, creates it
// empty at its first check and empties it after each read. A sender writes
// only into an existing empty file.
//
// The data folder is shared, so anyone may put a link, a FIFO or a folder
// where the mailbox belongs: only a regular file at the path itself is read
// or written, never through a link, and the instance empties the mailbox by
// putting a fresh empty file in its place rather than by cutting what the
// path names.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"

namespace tunnel {

class FileSignal {
public:
    // Content beyond this many bytes is not a command: it is emptied unread.
    static constexpr int MAX_SIZE = 256;

    // Deletes the file (a stale command of an earlier run).
    explicit FileSignal(gt::core::String const& path);
    FileSignal(FileSignal const&) = delete;
    FileSignal& operator=(FileSignal const&) = delete;
    virtual ~FileSignal();

    // True with the command bytes in out when the file held some; the file
    // is then emptied. An absent file is created empty (with its folder) and
    // gives false, as does an empty one; anything but a regular file (a
    // link, a FIFO) is replaced by an empty file and gives false. Oversized
    // content gives true with an empty out.
    bool receive(gt::core::Binary* out);

    // Writes the bytes as the whole file, only when the path names an empty
    // regular file itself; false otherwise or when the write fails.
    static bool send(gt::core::String const& path, gt::core::Binary const& bytes);

    // Whether the path names an empty regular file itself (not a link).
    static bool isEmpty(gt::core::String const& path);
    // Puts a new file holding the bytes in place of whatever the path names,
    // in one step: the bytes go to path + ".new" first (a stale entry there
    // is removed, never written through), which is then renamed over the
    // path. False, with nothing left behind, when any step fails.
    static bool replace(gt::core::String const& path, gt::core::Binary const& bytes);

    gt::core::String const& path() const { return m_path; }

private:
    gt::core::String m_path;
};

}  // namespace tunnel
