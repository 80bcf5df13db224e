// One device (computer) of the account.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/DateTime.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

class Device {
public:
    // The blank record: ids -1, zeros, false and empty texts.
    Device();

    // One object of the API's "devices" list; every field from the key of
    // its name (absent: 0, false or empty).
    static Device fromDictionary(gt::core::Dictionary<gt::core::Any> const& object);

    long long id;
    bool is_disabled;
    long long user_id;
    gt::core::String label;
    gt::core::String create_ip;
    gt::core::DateTime create_time;
    gt::core::String login_ip;
    bool is_online;
    gt::core::String version;
    int forwards;
};

}  // namespace tunnel
