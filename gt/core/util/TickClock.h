// The tick clock: milliseconds on the monotonic clock as an unsigned 32-bit
// count that wraps to 0 after 2^32 ms. The time base of Timer.
#pragma once

namespace gt {
namespace core {

using TickSource = unsigned (*)();

unsigned getTickCount();

// Replaces the source of getTickCount (tests drive timers with a fake clock);
// null restores the system clock. Returns the source in place before.
TickSource setTickSource(TickSource source);

}  // namespace core
}  // namespace gt
