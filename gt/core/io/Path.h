// Path text: taking paths apart and splitting command lines. No file-system
// access. Paths use '/' as separator; a backslash written by a caller is
// turned into '/' wherever a path is normalised.
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

template <class T>
class Array;

// The shared one-character separator "/".
String const& pathSeparator();
// Copy with every backslash replaced by '/'.
String normalizePath(String const& path);
// Normalised, cut before the last separator; empty when there is none.
String dirName(String const& path);
// Normalised, everything through the last separator removed.
String baseName(String const& path);
// The text behind the last '.'; the whole text when there is no '.'.
String fileExtension(String const& path);
// The text before the last '.'; empty when there is no '.'.
String removeExtension(String const& path);
// The path without its trailing separators (a lone "/" stays).
String trimTrailingSeparators(String const& path);
// Blanks and TABs outside double quotes separate arguments; quotes are
// dropped; backslashes are ordinary characters.
void splitCommandLine(Array<String>& out, String const& text);
// Split, program path normalised, joined again with single blanks.
String normalizeCommandLine(String const& text);

}  // namespace core
}  // namespace gt
