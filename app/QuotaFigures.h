// What the client shows of the account's quota: traffic left and the fixed
// bandwidth a mapping may take. The figures come from the cloud and may be
// anything a JSON number holds (a limit of -2^63, a used count beyond the
// limit), so every sum is taken wide and brought back into range, never
// left to wrap.
#pragma once

#include "tunnel/api/user/QuotaInfo.h"

namespace tunnel {

class QuotaFigures {
public:
    // limit - used bytes, held to the range of long long.
    static long long trafficLeft(long long limit, long long used);
    // What traffic billing has left: the free and the bought limits less the
    // free and the bought traffic used, held to the range of long long.
    static long long trafficLeft(QuotaInfo const& quota);

    // The most fixed bandwidth (Mbps) a mapping that now has own may take:
    // what the plan leaves (limit - used + own), and never less than own, so
    // that a plan that shrank below what is in use does not cut a mapping
    // whose name alone is edited. 0 at least, INT_MAX at most.
    static int bandwidthMaximum(QuotaInfo const& quota, int own);
    // What is left to hand out while the mapping takes value Mbps:
    // bandwidthMaximum less value, 0 at least (the spin box never goes past
    // the maximum, so this is what it still allows).
    static int bandwidthLeft(QuotaInfo const& quota, int own, int value);
};

}  // namespace tunnel
