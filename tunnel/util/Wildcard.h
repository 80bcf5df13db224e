// Whole-text matching against a pattern with the wildcards "?" and "*".
#pragma once

#include "gt/core/lang/String.h"

namespace tunnel {

// True when the whole text matches the whole pattern. "?" matches exactly one
// UTF-16 code unit, "*" any run of code units (the empty run included); every
// other unit matches only itself, case-sensitively. There is no escape.
// Work is proportional to pattern length x text length, memory to the text length.
bool wildcardMatch(gt::core::String const& text, gt::core::String const& pattern);

}  // namespace tunnel
