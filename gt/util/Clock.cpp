#include "gt/util/Clock.h"

#include <time.h>

namespace gt {
namespace util {

int currentMilliseconds() {
    timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return 0;
    long long ms = static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    return static_cast<int>(static_cast<unsigned>(ms));
}

}  // namespace util
}  // namespace gt
