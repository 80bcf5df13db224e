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
// Text up to the first NUL of s.
inline core::String str(std::string const& s) { return str(s.c_str()); }

// Lower-case hex of bytes, two digits a byte.
inline std::string hex(core::Binary const& b) {
    static char const digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(static_cast<size_t>(b.length()) * 2);
    for (int i = 0; i < b.length(); ++i) {
        unsigned char c = static_cast<unsigned char>(b[i]);
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Hex of the bytes of a text, as the relay double's commands take it.
inline std::string hexOf(std::string const& text) { return hex(bin(text)); }

// Bytes from hex digit pairs; a trailing odd digit is ignored.
inline core::Binary unhex(std::string const& text) {
    core::Binary out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.append(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

}  // namespace test
}  // namespace gt
