// Relay prober: pings every candidate relay server at the same time and
// returns those that answered, in the order their answers came in.
#pragma once

#include <functional>

#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"
#include "gt/net/socket/SocketAddress.h"
#include "tunnel/util/EngineLog.h"

namespace tunnel {

class Detector {
public:
    explicit Detector(int timeoutMs);
    virtual ~Detector();

    // servers: "a.b.c.d:port" texts (read by TunnelConfig::parseServer; a
    // host name is not resolved and gives 0.0.0.0, which fails). Blocks the calling thread until every probe
    // has ended (answer, error, refusal or close; each counted once) or the time-out has passed, stepping a
    // private event loop in 100 ms turns.
    gt::core::Array<gt::core::String> detect(gt::core::Array<gt::core::String> const& servers,
                                             gt::net::SocketAddress const& bind);
    // The same, ended early with the answers so far once cancelled() holds;
    // it is asked between the steps of the event loop.
    gt::core::Array<gt::core::String> detect(gt::core::Array<gt::core::String> const& servers,
                                             gt::net::SocketAddress const& bind,
                                             std::function<bool()> const& cancelled);

    // Where the probe lines go (not owned; null drops them).
    void setLog(EngineLog* log) { m_log = log; }
    // The system error of the last probe of the last detect() that failed
    // with one (no descriptors, refused, unreachable); 0 when none did.
    int lastError() const { return m_lastError; }

private:
    int m_timeoutMs;
    EngineLog* m_log = nullptr;
    int m_lastError = 0;
};

}  // namespace tunnel
