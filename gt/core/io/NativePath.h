// Conversion of our path text to the bytes the kernel expects.
#pragma once

#include <string>

#include "gt/core/lang/String.h"

namespace gt {
namespace core {
namespace detail {

// The path with every backslash turned into '/', as UTF-8.
std::string nativePath(String const& path);
// UTF-8 bytes from the kernel back to our text.
String fromNativePath(char const* path, int length);

}  // namespace detail
}  // namespace core
}  // namespace gt
