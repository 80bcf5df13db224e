// One region offered for new mappings.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

class Region {
public:
    Region();

    // One object of the API's "regions" list, read as Device reads its keys.
    static Region fromDictionary(gt::core::Dictionary<gt::core::Any> const& object);

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
