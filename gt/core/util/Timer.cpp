#include "gt/core/util/Timer.h"

#include "gt/core/util/TickClock.h"

namespace gt {
namespace core {

Timer::Timer() : m_start(getTickCount()), m_interval(0) {}

Timer::Timer(int ms) : m_start(getTickCount()), m_interval(ms < 0 ? 0 : ms) {}

void Timer::start(int ms) {
    m_interval = ms < 0 ? 0 : ms;
    m_start = getTickCount();
}

void Timer::reset() {
    if (m_interval > 0) m_start = getTickCount();
}

void Timer::rearm() {
    if (m_interval <= 0) return;
    unsigned elapsed = getTickCount() - m_start;
    unsigned period = static_cast<unsigned>(m_interval);
    m_start += period * (elapsed / period);
}

void Timer::advance(int ms) {
    if (m_interval > 0 && ms > 0) m_start -= static_cast<unsigned>(ms);
}

// The distance from start to now read as a signed 32-bit value.
int Timer::_elapsed() const { return static_cast<int>(getTickCount() - m_start); }

bool Timer::isExpired() const {
    if (m_interval <= 0) return true;
    int elapsed = _elapsed();
    return elapsed >= m_interval || elapsed < 0;
}

int Timer::remaining() const {
    if (m_interval <= 0) return 0;
    int elapsed = _elapsed();
    if (elapsed < 0 || elapsed >= m_interval) return 0;
    return m_interval - elapsed;
}

}  // namespace core
}  // namespace gt
