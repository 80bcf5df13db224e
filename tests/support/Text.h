// Text helpers for test expectations.
#pragma once

#include <string>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"

namespace gt {
namespace test {

inline std::string utf8(core::String const& s) {
    core::Binary b = s.toBinary();
    return std::string(b.data(), static_cast<size_t>(b.length()));
}

inline std::string bytes(core::Binary const& b) {
    return std::string(b.data(), static_cast<size_t>(b.length()));
}

inline core::Binary bin(std::string const& s) { return core::Binary(s.data(), static_cast<int>(s.size())); }

inline core::String str(char const* s) { return core::String::fromUtf8(s); }

// The same two, under the names the network tests use.
inline core::Binary raw(std::string const& s) { return bin(s); }
inline core::String text(char const* s) { return str(s); }

}  // namespace test
}  // namespace gt
