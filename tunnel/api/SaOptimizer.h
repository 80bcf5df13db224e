// Finds a working server address: probes the candidates in random order,
// three at a time on worker threads, and answers the first one whose probe
// succeeded.
#pragma once

#include <functional>

#include "gt/core/util/Array.h"
#include "gt/net/socket/SocketAddress.h"
#include "gt/util/dist/TaskPool.h"

namespace tunnel {

class SaOptimizer {
public:
    using Tester = std::function<bool(gt::net::SocketAddress const&)>;
    static constexpr int kProbeThreads = 3;
    static constexpr int kPollMs = 30;

    // The tester runs on the worker threads, up to three at once.
    explicit SaOptimizer(Tester const& tester);
    SaOptimizer(SaOptimizer const&) = delete;
    SaOptimizer& operator=(SaOptimizer const&) = delete;
    // Stops the workers (a running probe is finished first) before the
    // tester goes.
    virtual ~SaOptimizer();

    // The first candidate whose probe succeeds, or the none-endpoint. One
    // thread at a time; probes still running when a winner is found finish
    // in the background, and the next call waits for them first.
    gt::net::SocketAddress optimize(gt::core::Array<gt::net::SocketAddress> const& candidates);

private:
    Tester m_tester;
    gt::util::TaskPool m_pool;
    gt::net::SocketAddress m_winner;
};

}  // namespace tunnel
