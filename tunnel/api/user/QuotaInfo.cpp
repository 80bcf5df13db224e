#include "tunnel/api/user/QuotaInfo.h"

namespace tunnel {

QuotaInfo::QuotaInfo() = default;

}  // namespace tunnel
