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

}  // namespace test
}  // namespace gt
