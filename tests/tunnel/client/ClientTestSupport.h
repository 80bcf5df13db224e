// Helpers shared by the relay client tests: errors as text lines and the
// request frame a tunnel creation writes.
#pragma once

#include <string>

#include "support/Text.h"
#include "tunnel/EngineTestSupport.h"
#include "tunnel/client/Error.h"

namespace client_test {

// "error:<code>:<message as UTF-8>".
inline std::string errorLine(tunnel::Error const& e) {
    return "error:" + std::to_string(e.code) + ":" + gt::test::utf8(e.message);
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
           engine_test::hexOf("call") + engine_test::hexOf("access_id") + "00" + gt::test::hex(length) +
           engine_test::hexOf(accessId) + engine_test::hexOf("method") +
           "00"
           "0d000000" +
           engine_test::hexOf("tunnel_create");
}

}  // namespace client_test
