// The client's side of the status mailbox shared with the service program:
// an empty status file is a request, the service writes its report of every
// forward worker into it (only while it is empty), and this reader takes the
// report and empties the file again, which is the next request. The service
// program has its own class of this name, the writer.
//
// Used on the GUI thread only; the file is the only thing shared with the
// service, and no lock is taken: each side touches the file only in the
// state that is its turn.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

class StatusService {
public:
    // A report larger than this is dropped unread (a few hundred forwards
    // take a few dozen KiB): the file is shared, so its size is not trusted.
    static constexpr int MAX_REPORT_BYTES = 1024 * 1024;

    // On the client's status file; touches no file yet.
    StatusService();
    // On another file (tests).
    explicit StatusService(gt::core::String const& path);
    StatusService(StatusService const&) = delete;
    StatusService& operator=(StatusService const&) = delete;
    // Deletes the status file, so that the service stops writing reports
    // while no client runs.
    virtual ~StatusService();

    // One exchange with the file, a gt::core::Mailbox (never read or written
    // through a link): a missing file, a link or a FIFO there is replaced by
    // an empty file (the first request); an empty one means no answer yet; a filled one is read and
    // emptied (the next request), then parsed. True only when a new report
    // replaced the status: a report whose root is not an object, an
    // unreadable or oversized one keeps the previous status. Entries of its
    // "forwards" list that are not objects are left out.
    bool refresh();
    // refresh(), then the last report read (empty before the first one).
    gt::core::Dictionary<gt::core::Any> status();

    gt::core::String const& path() const { return m_path; }

private:
    gt::core::String m_path;
    gt::core::Dictionary<gt::core::Any> m_status;
};

}  // namespace tunnel
