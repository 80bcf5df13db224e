// Base64 text (RFC 4648 alphabet, '=' padding, no line breaks).
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class Base64 {
public:
    static String encode(Binary const& data);
    // Lenient: a length that is not a multiple of 4 gives an empty result;
    // characters outside the alphabet count as 'A'.
    static Binary decode(String const& text);
};

}  // namespace core
}  // namespace gt
