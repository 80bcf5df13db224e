#include "tunnel/nat/Detector.h"

#include <memory>
#include <vector>

#include "gt/core/lang/Integer.h"
#include "gt/core/util/Timer.h"
#include "gt/net/SocketEventSelector.h"
#include "tunnel/nat/NatPing.h"
#include "tunnel/util/TunnelConfig.h"

using gt::core::Array;
using gt::core::String;

namespace tunnel {

namespace {
constexpr int kSelectorTickMs = 1000;
constexpr int kPollMs = 100;
}  // namespace

Detector::Detector(int timeoutMs) : m_timeoutMs(timeoutMs) {}

Detector::~Detector() = default;

Array<String> Detector::detect(Array<String> const& servers, gt::net::SocketAddress const& bind) {
    return detect(servers, bind, std::function<bool()>());
}

Array<String> Detector::detect(Array<String> const& servers, gt::net::SocketAddress const& bind,
                               std::function<bool()> const& cancelled) {
    gt::core::Timer timer(m_timeoutMs);
    m_lastError = 0;
    Array<String> result;
    int const total = servers.count();
    int ended = 0;
    gt::net::SocketEventSelector selector(kSelectorTickMs);
    std::vector<std::unique_ptr<NatPing>> probes;
    // A probe may report more than once (an answer, then the close that
    // follows it); only its first report counts.
    std::vector<char> done(static_cast<size_t>(total), 0);
    probes.reserve(static_cast<size_t>(total));
    for (int i = 0; i < total; ++i) {
        String const server = servers[i];
        probes.emplace_back(new NatPing(&selector, TunnelConfig::parseServer(server), bind));
        NatPing* probe = probes.back().get();
        if (probe->hasFailed()) {  // refused on the spot, before a callback could be set
            if (probe->lastSystemError() != 0) m_lastError = probe->lastSystemError();
            done[static_cast<size_t>(i)] = 1;
            ++ended;
            continue;
        }
        probe->onPing = [&, i, server](int ms) {
            if (done[static_cast<size_t>(i)]) return;
            done[static_cast<size_t>(i)] = 1;
            ++ended;
            if (m_log) m_log->debug(u"Detector: " + server + u", ping=" + gt::core::Integer(ms).toString());
            result.add(server);
        };
        probe->onError = [&, i, probe](Error const&) {
            if (done[static_cast<size_t>(i)]) return;
            if (probe->lastSystemError() != 0) m_lastError = probe->lastSystemError();
            done[static_cast<size_t>(i)] = 1;
            ++ended;
        };
    }
    while (ended < total && !timer.isExpired() && !(cancelled && cancelled()))
        selector.poll(kPollMs);
    probes.clear();
    return result;
}

}  // namespace tunnel
