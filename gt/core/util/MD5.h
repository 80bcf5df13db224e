// MD5 message digest (RFC 1321) as 32 lower-case hexadecimal characters.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"

namespace gt {
namespace core {

String md5Hex(Binary const& data);
// The digest of a range of data: position is cut to [0, length]; a negative
// count counts as 0, and the range is cut at the end.
String md5Hex(Binary const& data, int position, int count);

}  // namespace core
}  // namespace gt
