// One relay node of a region.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

class Node {
public:
    Node();

    // One object of the API's "nodes" list; each element of "servers" and
    // "domains" as text, a list key that is not a list giving an empty list.
    static Node fromDictionary(gt::core::Dictionary<gt::core::Any> const& object);

    long long id;
    // Relay server entries (host, colon, port), in the cloud's order.
    gt::core::Array<gt::core::String> servers;
    gt::core::Array<gt::core::String> domains;
};

}  // namespace tunnel
