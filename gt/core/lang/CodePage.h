// Conversions between String (UTF-16) and byte text. The ANSI and OEM code
// pages of this platform are both UTF-8.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"

namespace gt {
namespace core {

// UTF-8 bytes to text, every byte of them (a zero byte becomes U+0000, as in
// any other place of the bytes); a leading byte-order mark
// is skipped when the input is longer than 2 bytes. Ill-formed input gives
// U+FFFD per maximal ill-formed subpart. Does nothing when out is null.
void convertFromUtf8(Binary const& in, String* out);
// Text up to its first NUL to UTF-8; a lone surrogate becomes EF BF BD.
void convertToUtf8(String const& in, Binary* out);
// ANSI code page (UTF-8 here), up to the first zero byte, no byte-order mark
// skipped.
void convertFromAnsi(Binary const& in, String* out);
// OEM code page (UTF-8 here).
void convertToOem(String const& in, Binary* out);

}  // namespace core
}  // namespace gt
