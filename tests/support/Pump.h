// Turns a selector until a condition holds or a time limit passes.
#pragma once

#include <chrono>
#include <functional>

#include "gt/net/SocketEventSelector.h"

namespace gt {
namespace test {

// Polls the selector in short turns until done() holds; false when limitMs passed first.
inline bool pumpUntil(gt::net::SocketEventSelector& selector, std::function<bool()> const& done,
                      int limitMs = 3000, int stepMs = 5) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        selector.poll(stepMs);
    }
    return true;
}

// Polls the selector for ms.
inline void pumpFor(gt::net::SocketEventSelector& selector, int ms, int stepMs = 5) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
        selector.poll(stepMs);
}

}  // namespace test
}  // namespace gt
