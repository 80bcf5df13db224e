// What the mapping page shows of the service's live state for one forward of
// this computer: the service's last status report merged with the forward
// records, as the texts of the two status cells and their tooltip. The page
// only writes the cells.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/Dictionary.h"
#include "tunnel/api/user/Forward.h"

namespace tunnel {

class ForwardStatus {
public:
    static char16_t const* const UNKNOWN;     // "...": not in the report
    static char16_t const* const BUSY;        // "传输忙": a round trip of BUSY_PING_MS or more
    static char16_t const* const CONNECTING;  // "连接中": no tunnel yet, bandwidth to be had
    static char16_t const* const NO_TRAFFIC;  // "无流量": no tunnel, and no bandwidth at all
    static constexpr int BUSY_PING_MS = 10000;

    // Both cells UNKNOWN, no tooltip.
    ForwardStatus();

    // The response cell: the round trip as "<ping>ms", or a state word.
    gt::core::String ping;
    // The connection cell: the number of open channels as reported.
    gt::core::String channels;
    // The service's last error for the forward, the tooltip of both cells;
    // empty: none.
    gt::core::String error;

    // One result per forward, in the order of forwards. entries is the
    // report's "forwards" list: elements that are not objects are skipped,
    // and of two entries with one id the later counts. floatingBandwidth is
    // the quota limit's bandwidth_float: with it, a forward without a fixed
    // bandwidth still gets a tunnel.
    static gt::core::Array<ForwardStatus> merge(gt::core::Array<gt::core::Any> const& entries,
                                                gt::core::Array<Forward> const& forwards,
                                                int floatingBandwidth);
    // The report's "forwards" list into entries; false (entries untouched)
    // when the report has none, as before the first report: then there is
    // nothing to merge and the cells stay as they are.
    static bool entriesOf(gt::core::Dictionary<gt::core::Any> const& report,
                          gt::core::Array<gt::core::Any>* entries);
};

}  // namespace tunnel
