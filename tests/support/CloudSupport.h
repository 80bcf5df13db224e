// Helpers for the tests that run the cloud API classes against the Python
// cloud double.
#pragma once

#include <string>

#include "gt/core/util/Any.h"
#include "gt/core/util/JSON.h"
#include "support/TestCloud.h"
#include "support/Text.h"

namespace gt {
namespace test {

// The spec of the double's demo state.
inline char16_t const* demoSpec() { return u"tea(qvdemo)"; }

inline gt::core::String hostEntry(unsigned short port) {
    return gt::test::str("127.0.0.1:" + std::to_string(port));
}

// The API base of a server of the double with a program root appended.
inline gt::core::String apiRoot(unsigned short port, char const* root) {
    return gt::test::str("http://127.0.0.1:" + std::to_string(port) + "/api" + root);
}

// The requests the double recorded since the given sequence number.
inline gt::core::Array<gt::core::Any> recorded(gt::test::TestCloud& cloud, int since = 0) {
    gt::core::Array<gt::core::Any> calls;
    gt::core::JSON::decode(gt::test::str(cloud.calls(since)), &calls);
    return calls;
}

inline gt::core::Dictionary<gt::core::Any> const& fieldsOf(gt::core::Any const& call) {
    return call.cast<gt::core::Dictionary<gt::core::Any> >();
}

inline std::string textOf(gt::core::Any const& call, char16_t const* key) {
    return gt::test::utf8(gt::core::toString(fieldsOf(call).get(key)));
}

inline std::string jsonOf(gt::core::Any const& value) {
    gt::core::String text;
    gt::core::JSON::encode(value, &text, false);
    return gt::test::utf8(text);
}

}  // namespace test
}  // namespace gt
