// Replaces the tick clock for the life of the object, so timer-driven code
// can be stepped without waiting.
#pragma once

#include <atomic>

#include "gt/core/util/TickClock.h"

namespace gt {
namespace test {

class FakeClock {
public:
    explicit FakeClock(unsigned start = 1000) {
        now().store(start);
        m_previous = gt::core::setTickSource(&FakeClock::_read);
    }
    ~FakeClock() { gt::core::setTickSource(m_previous); }
    FakeClock(FakeClock const&) = delete;
    FakeClock& operator=(FakeClock const&) = delete;

    void advance(unsigned ms) { now().fetch_add(ms); }
    void set(unsigned ms) { now().store(ms); }

private:
    static std::atomic<unsigned>& now() {
        static std::atomic<unsigned> value{0};
        return value;
    }
    static unsigned _read() { return now().load(); }

    gt::core::TickSource m_previous;
};

}  // namespace test
}  // namespace gt
