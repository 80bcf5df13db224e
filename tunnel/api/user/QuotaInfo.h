// The account's quota: what is used and the limit.
#pragma once

#include "tunnel/api/user/Quota.h"

namespace tunnel {

class QuotaInfo {
public:
    QuotaInfo();

    Quota used;
    Quota limit;
};

}  // namespace tunnel
