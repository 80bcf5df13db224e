// TEA block cipher with 16 cycles in ECB mode over 8-byte blocks.
//
// Enciphered form of L plain bytes (L > 0), with p = (8 - L % 8) % 8:
// the enciphered blocks of the plain bytes followed by p bytes 0x2D, then one
// plain byte holding p. Words are little-endian; the 16-byte key gives four
// little-endian words. Empty input gives empty output.
#pragma once

#include "gt/core/lang/Binary.h"

namespace gt {
namespace core {

class TEA {
public:
    // False (out untouched) when out is null or the key is not 16 bytes.
    // out may be the same object as in.
    static bool encrypt(Binary* out, Binary const& in, Binary const& key);
    // As encrypt; also false with an empty out when the length is not a
    // multiple of 8 plus one, or the count byte exceeds the enciphered length.
    static bool decrypt(Binary* out, Binary const& in, Binary const& key);
};

}  // namespace core
}  // namespace gt
