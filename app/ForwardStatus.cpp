#include "app/ForwardStatus.h"

#include <map>

#include "tunnel/api/StatusReport.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;

namespace tunnel {

char16_t const* const ForwardStatus::UNKNOWN = u"...";
char16_t const* const ForwardStatus::BUSY = u"传输忙";
char16_t const* const ForwardStatus::CONNECTING = u"连接中";
char16_t const* const ForwardStatus::NO_TRAFFIC = u"无流量";

ForwardStatus::ForwardStatus() : ping(UNKNOWN), channels(UNKNOWN) {}

Array<ForwardStatus> ForwardStatus::merge(Array<Any> const& entries, Array<Forward> const& forwards,
                                          int floatingBandwidth) {
    std::map<long long, Dictionary<Any> const*> byId;
    for (Any const& element : entries) {
        if (!element.is<Dictionary<Any> >()) continue;
        Dictionary<Any> const& entry = element.cast<Dictionary<Any> >();
        byId[gt::core::toLong(entry.get(StatusReport::KEY_ID))] = &entry;
    }
    Array<ForwardStatus> rows;
    for (Forward const& forward : forwards) {
        ForwardStatus row;
        auto const found = byId.find(forward.id);
        if (found != byId.end()) {
            Dictionary<Any> const& entry = *found->second;
            Any const& pingValue = entry.get(StatusReport::KEY_PING);
            int const ping = gt::core::toInt(pingValue);
            if (ping >= BUSY_PING_MS) {
                row.ping = BUSY;
            } else if (ping >= 0) {
                // The value as the service wrote it, not the converted number.
                row.ping = gt::core::toString(pingValue) + u"ms";
            } else if (forward.bandwidth > 0 || floatingBandwidth > 0) {
                row.ping = CONNECTING;
            } else {
                row.ping = NO_TRAFFIC;
            }
            row.channels = gt::core::toString(entry.get(StatusReport::KEY_CHANNELS));
            row.error = gt::core::toString(entry.get(StatusReport::KEY_ERROR));
        }
        rows.add(row);
    }
    return rows;
}

bool ForwardStatus::entriesOf(Dictionary<Any> const& report, Array<Any>* entries) {
    Any const& forwards = report.get(StatusReport::KEY_FORWARDS);
    if (!forwards.is<Array<Any> >()) return false;
    if (entries) *entries = forwards.cast<Array<Any> >();
    return true;
}

}  // namespace tunnel
