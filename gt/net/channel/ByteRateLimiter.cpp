#include "gt/net/channel/ByteRateLimiter.h"

namespace gt {
namespace net {

namespace {
constexpr long long kMaxInt = 2147483647;
}

ByteRateLimiter::ByteRateLimiter(int windowMs) : m_window(windowMs), m_limit(-1), m_used(0) {}

void ByteRateLimiter::consume(int n) {
    if (m_window.isExpired()) {
        m_used = 0;
        m_window.rearm();
    }
    long long used = static_cast<long long>(m_used) + n;
    m_used = static_cast<int>(used > kMaxInt ? kMaxInt : used < 0 ? 0 : used);
}

int ByteRateLimiter::allowance() const {
    if (m_limit < 0) return static_cast<int>(kMaxInt);
    // In 64 bits: a limit of a few MB/s times a window of 1000 ms overflows int.
    long long budget = static_cast<long long>(m_limit) * m_window.interval() / 1000;
    long long used = m_window.isExpired() ? 0 : m_used;
    long long left = budget - used;
    if (left < 0) return 0;
    return static_cast<int>(left > kMaxInt ? kMaxInt : left);
}

}  // namespace net
}  // namespace gt
