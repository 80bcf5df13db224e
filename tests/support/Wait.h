// Bounded polling for tests.
#pragma once

#include <chrono>
#include <thread>

namespace gt {
namespace test {

// Polls condition every millisecond for at most ms; true once it held.
template <class F>
bool waitFor(F condition, int ms = 5000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Milliseconds of the steady clock since a point in time.
inline long long elapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since)
        .count();
}

}  // namespace test
}  // namespace gt
