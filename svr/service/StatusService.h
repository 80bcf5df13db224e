// Answers the desktop client's status requests: while the status file exists
// and is empty, every 5 s, it receives a JSON report of every forward worker
// (id, ping, channels, error) in ascending id order.
#pragma once

#include "gt/core/util/Any.h"
#include "gt/core/util/Dictionary.h"
#include "gt/core/util/Timer.h"

namespace tunnel {

class IContext;
class NatManager;

class StatusService {
public:
    explicit StatusService(IContext* context);
    StatusService(IContext* context, gt::core::String const& path);
    StatusService(StatusService const&) = delete;
    StatusService& operator=(StatusService const&) = delete;
    // Deletes the status file, so no client reads a report of a finished run.
    virtual ~StatusService();

    void process();

    // {"forwards": [{"channels", "error" (when not empty), "id", "ping"}, ...]}
    static gt::core::Dictionary<gt::core::Any> buildReport(NatManager const& manager);
    // Writes the report, only when the mailbox is an empty regular file
    // itself (a link in its place is never written through): into a new
    // temporary file first (path + ".new"), renamed over the mailbox after a
    // second look, so a reader never sees half a report. False when nothing
    // was written.
    static bool writeReport(gt::core::String const& path, gt::core::Dictionary<gt::core::Any> const& report);

private:
    IContext* m_context;
    gt::core::String m_path;
    gt::core::Timer m_timer;
};

}  // namespace tunnel
