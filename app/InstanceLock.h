// Takes the desktop client's single-instance lock (app.lock) and tells a
// running instance apart from every other reason the lock cannot be had.
//
// The data folder is shared, so a link, a FIFO or a folder may stand where
// the lock file belongs; the lock never follows or uses one. Such an entry is
// no instance's lock: it is removed (a folder only when empty) and the lock
// taken on a fresh file, as the mailboxes put a fresh file in place of a
// link. A regular file is never removed: it may be another instance's.
#pragma once

#include "gt/core/lang/String.h"
#include "tunnel/api/ProcessSingleton.h"

namespace tunnel {

class InstanceLock {
public:
    enum Outcome {
        TAKEN,    // lock holds it now
        RUNNING,  // another process holds it: another instance
        FAILED,   // anything else; the reason says what and why
    };

    // Tries lock; when a link, a FIFO, another non-regular entry or an empty
    // folder stands at its path, removes that entry and tries once more.
    // reason (when given) gets the path and the system's error text after a
    // failure, and is emptied otherwise.
    static Outcome take(ProcessSingleton* lock, gt::core::String* reason);

    // Removes the entry at path when it is not a regular file (a folder only
    // when empty), without following a link; true when one was removed.
    // Repairs of one folder take turns under a lock on the folder, so two
    // starting instances never both remove and recreate the lock file; that
    // lock is awaited up to FOLDER_LOCK_MS (a stranger holding it must not
    // keep the client from starting), then nothing is removed.
    static bool removeNonRegular(gt::core::String const& path);

    static constexpr int FOLDER_LOCK_MS = 2000;
};

}  // namespace tunnel
