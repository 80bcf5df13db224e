// Upper-case hexadecimal text of bytes.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class Hex {
public:
    static String encode(Binary const& data);
    // Lenient: odd length gives an empty result; a non-digit counts as 0.
    static Binary decode(String const& text);
};

}  // namespace core
}  // namespace gt
