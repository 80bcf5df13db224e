// The command mailbox of a running service: a file that is absent (no
// instance), empty (ready for a command) or holds one command word. The
// running instance owns it: it deletes it at start and at end, creates it
// empty at its first check and empties it after each read. A sender writes
// only into an existing empty file.
//
// It is a gt::core::Mailbox: only a regular file at the path itself is read
// or written, never through a link; senders use Mailbox::send.
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

    gt::core::String const& path() const { return m_path; }

private:
    gt::core::String m_path;
};

}  // namespace tunnel
