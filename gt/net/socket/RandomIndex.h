// Picks of one element out of n for the resolver's shuffles.
#pragma once

namespace gt {
namespace net {
namespace detail {

// An index in [0, n) from a fresh generator seeded by the C library's rand();
// 0 when n <= 0.
int randomIndex(int n);

}  // namespace detail
}  // namespace net
}  // namespace gt
