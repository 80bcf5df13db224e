// Process-wide sequence numbers: 1, 2, ..., 2147483647, then 1 again.
#pragma once

namespace gt {
namespace core {

// Safe from any thread; never returns 0 or a negative value.
int nextSequence();

namespace detail {
// Sets the value the next call of nextSequence returns (values below 1 count as 1).
void setNextSequence(int value);
}  // namespace detail

}  // namespace core
}  // namespace gt
