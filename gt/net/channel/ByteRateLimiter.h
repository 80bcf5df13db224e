// A byte budget per time window: the limit in bytes per second, scaled to
// the window, minus what the current window has used.
#pragma once

#include "gt/core/util/Timer.h"

namespace gt {
namespace net {

class ByteRateLimiter {
public:
    // Unlimited until setLimit.
    explicit ByteRateLimiter(int windowMs);

    // Bytes per second; a negative value means unlimited.
    void setLimit(int bytesPerSecond) { m_limit = bytesPerSecond; }
    int limit() const { return m_limit; }
    // Counts n bytes against the current window (a new window starts when
    // the old one has passed, keeping its phase).
    void consume(int n);
    // Bytes still allowed in the current window, never below 0; 2147483647
    // when unlimited.
    int allowance() const;

private:
    gt::core::Timer m_window;
    int m_limit;
    int m_used;
};

}  // namespace net
}  // namespace gt
