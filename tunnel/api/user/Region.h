// One region offered for new mappings.
#pragma once

#include "gt/core/lang/String.h"

namespace tunnel {

class Region {
public:
    Region();

    long long id;
    bool is_disabled;
    gt::core::String label;
    gt::core::String brief;
    bool support_tcp;
    bool support_udp;
    bool support_http;
    bool support_https;
    bool support_domain;
};

}  // namespace tunnel
