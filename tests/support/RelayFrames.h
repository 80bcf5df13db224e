// Relay protocol pieces of the relay client tests: errors as text lines and
// the request frame a tunnel creation writes.
#pragma once

#include <string>

#include "support/Text.h"
#include "tunnel/client/Error.h"

namespace gt {
namespace test {

// "error:<code>:<message as UTF-8>".
inline std::string errorLine(tunnel::Error const& e) {
    return "error:" + std::to_string(e.code) + ":" + utf8(e.message);
}

// Hex of the kind-1 frame calling tunnel_create with the given access key
// (UTF-8), keys in dictionary order: "@", "access_id", "method".
inline std::string tunnelCreateFrame(std::string const& accessId) {
    unsigned const n = static_cast<unsigned>(accessId.size());
    gt::core::Binary length;
    for (int i = 0; i < 4; ++i)
        length.append(static_cast<char>((n >> (8 * i)) & 0xFF));
    return "0101"
           "4000"
           "04000000" +
           hexOf("call") + hexOf("access_id") + "00" + hex(length) + hexOf(accessId) + hexOf("method") +
           "00"
           "0d000000" +
           hexOf("tunnel_create");
}

}  // namespace test
}  // namespace gt
