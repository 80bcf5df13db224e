// Polled interval timer on the tick clock: no thread, no callback. Elapsed
// time is tick arithmetic modulo 2^32, so timers keep working across the
// wrap of the tick count.
#pragma once

namespace gt {
namespace core {

class Timer {
public:
    // Interval 0: permanently expired.
    Timer();
    // A negative interval counts as 0.
    explicit Timer(int ms);
    Timer(Timer const& other) = default;
    Timer& operator=(Timer const& other) = default;
    virtual ~Timer() = default;

    // New interval (negative counts as 0); the period starts now.
    void start(int ms);
    // A fresh full period from now (nothing for interval 0).
    void reset();
    // Moves the start to the beginning of the current period, skipping the
    // whole periods that have passed, so a periodic timer keeps its phase.
    void rearm();
    // Makes the timer fall due ms milliseconds sooner (nothing when ms <= 0).
    void advance(int ms);

    // True for interval 0, once the interval has passed, and when the start
    // lies 2^31 ms or more behind the tick count.
    bool isExpired() const;
    // Milliseconds until expiry, in 0 .. interval.
    int remaining() const;
    int interval() const { return m_interval; }

private:
    int _elapsed() const;

    unsigned m_start;
    int m_interval;
};

}  // namespace core
}  // namespace gt
