#include "gt/net/socket/RandomIndex.h"

#include <cstdlib>

namespace gt {
namespace net {
namespace detail {

int randomIndex(int n) {
    if (n <= 0) return 0;
    // Seed as the library's default-seeded generator does, then one step of
    // the minimal-standard generator (Schrage's method) with its offset.
    int first = std::rand();
    int second = std::rand();
    int s = static_cast<int>((static_cast<long long>(first % 32767) * 65538 + second) % 2147483647);
    if (s < 0) s += 2147483647;
    int q = s / 44488;
    int r = s % 44488;
    unsigned t = 48271u * static_cast<unsigned>(r) - 3399u * static_cast<unsigned>(q);
    unsigned next = t + 17517u;
    if (static_cast<int>(next) < 0) next += 2147483647u;
    return static_cast<int>(next) % n;
}

}  // namespace detail
}  // namespace net
}  // namespace gt
