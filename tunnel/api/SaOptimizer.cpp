#include "tunnel/api/SaOptimizer.h"

#include "gt/core/io/Thread.h"
#include "gt/core/lang/Random.h"

using gt::core::Array;
using gt::net::SocketAddress;

namespace tunnel {

SaOptimizer::SaOptimizer(Tester const& tester) : m_tester(tester), m_pool(PROBE_THREADS), m_winner() {}

SaOptimizer::~SaOptimizer() {
    // The pool is a member declared after the tester, so it would be torn
    // down first anyway; dropping queued probes makes that quick.
    m_pool.cancelPending();
}

SocketAddress SaOptimizer::optimize(Array<SocketAddress> const& candidates) {
    if (!m_tester || candidates.isEmpty()) return SocketAddress::none();

    Array<SocketAddress> rest(candidates);
    Array<SocketAddress> order;
    while (!rest.isEmpty()) {
        gt::core::Random random;
        int const index = random.nextInt(rest.count());
        order.add(rest[index]);
        rest.removeAt(index);
    }

    while (m_pool.pendingCount() > 0) {
        m_pool.runCompletions();
        if (m_pool.pendingCount() > 0) gt::core::Thread::sleep(POLL_MS);
    }

    m_winner = SocketAddress::none();
    Tester const tester = m_tester;
    for (SocketAddress const& candidate : order) {
        m_pool.post([this, tester, candidate](gt::util::TaskPool::Completion& completion) {
            if (!tester(candidate)) return;
            completion = [this, candidate] {
                if (m_winner == SocketAddress::none()) m_winner = candidate;
            };
        });
    }

    while (m_pool.pendingCount() > 0) {
        m_pool.runCompletions();
        if (m_winner != SocketAddress::none()) break;
        gt::core::Thread::sleep(POLL_MS);
    }
    // A probe that succeeded right at the end may still sit in the queue.
    if (m_winner == SocketAddress::none()) m_pool.runCompletions();
    return m_winner;
}

}  // namespace tunnel
