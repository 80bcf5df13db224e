// One mapping (port forward) of a device, as the desktop client keeps it.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

class Forward {
public:
    // The blank record: ids -1, zeros, false and empty texts.
    Forward();

    // One object of the API's "forwards" list; every field from the key of
    // its name (absent: 0, false or empty), then an acl_id of 0 or less
    // becomes -1 (no access policy attached).
    static Forward fromDictionary(gt::core::Dictionary<gt::core::Any> const& object);

    long long id;
    bool is_disabled;
    long long device_id;
    long long node_id;
    gt::core::String label;
    gt::core::String protocol;
    gt::core::String host_prefix;
    gt::core::String host_domain;
    gt::core::String host_custom;
    int server_port;
    gt::core::String client_host;
    int client_port;
    int bandwidth;
    long long acl_id;
    gt::core::String tip;
    gt::core::String region_label;
};

}  // namespace tunnel
