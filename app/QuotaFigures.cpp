#include "app/QuotaFigures.h"

#include <algorithm>
#include <limits>

namespace tunnel {

namespace {

// Four 64-bit terms never overflow 128 bits.
using Wide = __int128;

template <typename T>
T clampTo(Wide value) {
    Wide const low = std::numeric_limits<T>::min();
    Wide const high = std::numeric_limits<T>::max();
    return static_cast<T>(std::min(std::max(value, low), high));
}

}  // namespace

long long QuotaFigures::trafficLeft(long long limit, long long used) {
    return clampTo<long long>(Wide(limit) - used);
}

long long QuotaFigures::trafficLeft(QuotaInfo const& quota) {
    return clampTo<long long>(Wide(quota.limit.traffic_free) + quota.limit.traffic_paid -
                              quota.used.traffic_free - quota.used.traffic_paid);
}

int QuotaFigures::bandwidthMaximum(QuotaInfo const& quota, int own) {
    Wide const planLeaves = Wide(quota.limit.bandwidth) - quota.used.bandwidth + own;
    return clampTo<int>(std::max({Wide(0), planLeaves, Wide(own)}));
}

int QuotaFigures::bandwidthLeft(QuotaInfo const& quota, int own, int value) {
    return clampTo<int>(std::max(Wide(0), Wide(bandwidthMaximum(quota, own)) - value));
}

}  // namespace tunnel
