// Millisecond readings of a monotonic clock, for measuring short intervals.
#pragma once

namespace gt {
namespace util {

// Milliseconds of the monotonic clock, wrapped to 32 bits; only differences
// of two readings mean anything. 0 when the clock cannot be read.
int currentMilliseconds();

}  // namespace util
}  // namespace gt
