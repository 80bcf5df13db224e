// Text helpers for the network tests: readable std::string forms of the
// library's String and Binary values.
#pragma once

#include <string>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"

namespace gt {
namespace test {

inline std::string utf8(core::String const& text) {
    core::Binary bytes = text.toBinary();
    return std::string(bytes.data(), static_cast<size_t>(bytes.length()));
}

inline std::string bytes(core::Binary const& data) {
    return std::string(data.data(), static_cast<size_t>(data.length()));
}

inline core::Binary raw(std::string const& s) { return core::Binary(s.data(), static_cast<int>(s.size())); }

inline core::String text(char const* utf8Text) { return core::String::fromUtf8(utf8Text); }

}  // namespace test
}  // namespace gt
