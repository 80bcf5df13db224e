#include "gt/core/util/Array.h"

namespace gt {
namespace core {
namespace detail {

int arrayCapacity(int n) {
    constexpr int kMaxSlots = 1 << 30;
    if (n <= 32) return 32;
    if (n > kMaxSlots) throw std::bad_alloc();
    int capacity = 32;
    while (capacity < n)
        capacity *= 2;
    return capacity;
}

}  // namespace detail
}  // namespace core
}  // namespace gt
