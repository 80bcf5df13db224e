#include "benchmarks/support/SharedFigures.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <new>

namespace bench {

SharedFigures* SharedFigures::create() {
    void* page =
        ::mmap(nullptr, sizeof(SharedFigures), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) {
        std::perror("mmap");
        std::exit(1);
    }
    return new (page) SharedFigures();
}

void SharedFigures::clearCredit() { downByteNs = downBytes = upNs = upCount = upOwnNs = upOwnCount = 0; }

double SharedFigures::downLoop() const {
    return downBytes > 0 ? static_cast<double>(downByteNs) / static_cast<double>(downBytes) * 1e-9 : 0;
}

double SharedFigures::upLoop() const {
    if (upCount == 0) return 0;
    double const own = upOwnCount > 0 ? static_cast<double>(upOwnNs) / static_cast<double>(upOwnCount) : 0;
    return (static_cast<double>(upNs) / static_cast<double>(upCount) + own) * 1e-9;
}

}  // namespace bench
