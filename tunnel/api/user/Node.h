// One relay node of a region.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"

namespace tunnel {

class Node {
public:
    Node();

    long long id;
    // Relay server entries (host, colon, port), in the cloud's order.
    gt::core::Array<gt::core::String> servers;
    gt::core::Array<gt::core::String> domains;
};

}  // namespace tunnel
