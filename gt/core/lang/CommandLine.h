// Splitting of a command line into its arguments.
#pragma once

#include <vector>

#include "gt/core/lang/String.h"

namespace gt {
namespace core {
namespace detail {

// Blanks and TABs outside double quotes separate arguments; a double quote
// switches quoting on or off and is dropped; backslashes are ordinary
// characters; quoted and unquoted pieces that touch form one argument; an
// empty pair of quotes adds nothing.
void splitArguments(String const& text, std::vector<String>& out);

}  // namespace detail
}  // namespace core
}  // namespace gt
