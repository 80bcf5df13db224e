// Code and message of a relay failure. Code -1 with an empty message stands
// for a connection that failed or closed before the operation completed.
#pragma once

#include "gt/core/lang/String.h"

namespace tunnel {

struct Error {
    int code = -1;
    gt::core::String message;

    Error() = default;
    Error(int c, gt::core::String const& m) : code(c), message(m) {}
    static Error connectionLost() { return Error(); }
};

}  // namespace tunnel
