// The key{value} text form: a flat dictionary written as each key followed
// by its value in braces, with nothing between entries and nothing escaped.
// Characters below 33 between entries (line breaks, blanks) are skipped when
// reading.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Dictionary.h"

namespace gt {
namespace core {

// Empties out and writes every entry in key order. An entry that could not
// be read back as it is (a key holding a character below 33, '{' or '}', or
// a value whose braces do not balance) is refused: out is left empty and
// the result is false. A null out gives false.
bool formatBraceText(Dictionary<String> const& dict, String* out);
// The rule behind the refusal: a key reads back as it is when it holds no
// character below 33 and no brace; a value when its braces pair up (every
// '}' closes an earlier '{').
bool isBraceTextKey(String const& key);
bool isBraceTextValue(String const& value);
// Empties dict and fills it from text; a repeated key keeps its last value;
// an entry whose value is not closed by the end of text is dropped. Never
// fails. Does nothing when dict is null.
void parseBraceText(String const& text, Dictionary<String>* dict);

}  // namespace core
}  // namespace gt
