#include "gt/core/util/TickClock.h"

#include <time.h>

#include <atomic>

namespace gt {
namespace core {
namespace {

unsigned systemTicks() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    unsigned long long ms = static_cast<unsigned long long>(now.tv_sec) * 1000u +
                            static_cast<unsigned long long>(now.tv_nsec) / 1000000u;
    return static_cast<unsigned>(ms);
}

std::atomic<TickSource> s_source{&systemTicks};

}  // namespace

unsigned getTickCount() { return s_source.load(std::memory_order_relaxed)(); }

TickSource setTickSource(TickSource source) {
    return s_source.exchange(source ? source : &systemTicks, std::memory_order_relaxed);
}

}  // namespace core
}  // namespace gt
