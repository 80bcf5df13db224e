#include "app/TcpPing.h"

#include "gt/core/util/Timer.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/channel/TcpSocketConnector.h"
#include "gt/util/Clock.h"

namespace tunnel {

namespace {

constexpr int kTickMs = 1000;
constexpr int kPollMs = 100;

}  // namespace

TcpPing::TcpPing(int timeoutMs, int attempts) : m_timeoutMs(timeoutMs), m_attempts(attempts) {}

TcpPing::~TcpPing() = default;

int TcpPing::ping(gt::net::SocketAddress const& address) {
    gt::core::Timer budget(m_timeoutMs);
    if (m_attempts <= 0) return -1;
    long long sum = 0;
    int successes = 0;
    for (int i = 0; i < m_attempts && !budget.isExpired(); ++i) {
        int const ms = _ping(address, budget.remaining());
        if (ms < 0) continue;
        sum += ms;
        ++successes;
    }
    return successes > 0 ? static_cast<int>(sum / successes) : -1;
}

int TcpPing::_ping(gt::net::SocketAddress const& address, int timeoutMs) {
    gt::core::Timer deadline(timeoutMs);
    int result = -1;
    {
        gt::net::SocketEventSelector selector(kTickMs);
        gt::net::TcpSocketConnector connector(&selector);
        // The clock wraps at 32 bits: differences are taken unsigned.
        unsigned const start = static_cast<unsigned>(gt::util::currentMilliseconds());
        connector.connect(
            address,
            [&result, start](gt::net::Socket* socket) {
                if (socket == nullptr) return;
                unsigned const now = static_cast<unsigned>(gt::util::currentMilliseconds());
                result = static_cast<int>(now - start);
                // Taken over so that it closes normally here rather than
                // with a reset, which the target would log as an error.
                gt::net::Socket connected(0);
                connected.swap(*socket);
            },
            timeoutMs);
        while (connector.isConnecting() && !deadline.isExpired())
            selector.poll(kPollMs);
        // The connector goes first: a connect still pending is abandoned and
        // its socket closed before the selector it is registered on.
    }
    return result;
}

}  // namespace tunnel
