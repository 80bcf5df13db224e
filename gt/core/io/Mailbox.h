// A file that two processes share as a one-slot mailbox: it is absent (no
// reader), empty (ready for a message) or holds one message. The reader owns
// it: it creates it empty, takes a message and empties it again; a sender
// writes only into an existing empty file.
//
// The folder is shared, so anyone may put a link, a FIFO or a folder where a
// mailbox belongs: only a regular file at the path itself is read or
// written, never through a link, and a mailbox is emptied by putting a fresh
// empty file in its place rather than by cutting what the path names.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class Mailbox {
public:
    enum Taken {
        NOTHING,    // empty, held exclusively by someone, or not a file of ours
                    // (a fresh empty mailbox then took its place)
        MESSAGE,    // out holds the message; the mailbox is empty again
        OVERSIZED,  // more than the cap: emptied unread, out empty
    };

    // The reader's step: takes the message of at most maxSize bytes. An
    // absent mailbox, a link or a FIFO at its path is replaced by an empty
    // file (its folder made when missing).
    static Taken take(String const& path, int maxSize, Binary* out);

    // Writes the bytes as the whole file, only when the path names an empty
    // regular file itself; false otherwise or when the write fails.
    static bool send(String const& path, Binary const& bytes);

    // Whether the path names an empty regular file itself (not a link).
    static bool isEmpty(String const& path);

    // Puts a new file holding the bytes in place of whatever the path names,
    // in one step: the bytes go to path + ".new" first (a stale entry there is
    // removed, never written through), which is then renamed over the path.
    // With whileEmpty, the rename happens only while the path still names an
    // empty mailbox (its reader may have taken the request back meanwhile).
    // False, with nothing left behind, when any step fails.
    static bool replace(String const& path, Binary const& bytes, bool whileEmpty = false);
};

}  // namespace core
}  // namespace gt
