// Flat binary form of string-keyed dictionaries, as the relay protocol
// carries its control messages. Each entry is
//   [magic DA DA 00 00, only with the magic option] key (UTF-8, no 00 byte) 00
//   value length (signed 32-bit little-endian) value bytes
// back to back, in the dictionary's key order, with no count or checksum.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

// Appends one entry to out. False, with nothing appended, when out is null
// or the key holds a 00 byte (00 ends the key on the wire).
bool writeDictionaryEntry(gt::core::Binary* out, gt::core::Binary const& key, gt::core::Binary const& value,
                          bool magic);

// Empties out, then appends one entry per key (key as UTF-8). False, with
// out left empty, when out is null or a key holds a U+0000.
bool encodeDictionary(gt::core::Dictionary<gt::core::Binary> const& dictionary, gt::core::Binary* out,
                      bool magic);
// The same with every value written as UTF-8.
bool encodeDictionary(gt::core::Dictionary<gt::core::String> const& dictionary, gt::core::Binary* out,
                      bool magic);

// Reads the entry that starts at offset. False (outputs unspecified) for null
// outputs, an offset outside the data, a missing magic, a key without its 00
// byte, a cut length field, a negative length, or a value running past the end.
// On success consumed is the size of the entry.
bool readDictionaryEntry(gt::core::Binary const& data, int offset, gt::core::Binary* key,
                         gt::core::Binary* value, int* consumed, bool magic);

// Empties out and fills it with the entries that can be read from the start
// of the data, stopping silently at the first bad one; a key met again
// replaces the earlier value. Returns true when the whole data decoded, false
// when undecodable bytes were left over (the entries before them stay in out).
bool decodeDictionary(gt::core::Binary const& data, gt::core::Dictionary<gt::core::Binary>* out, bool magic);
// The same with every value decoded from UTF-8.
bool decodeDictionary(gt::core::Binary const& data, gt::core::Dictionary<gt::core::String>* out, bool magic);

}  // namespace tunnel
