// Null-safe byte-range primitives. Sizes are signed byte counts; a null
// pointer or a non-positive length makes them do nothing.
#pragma once

namespace gt {
namespace core {

// Fills length bytes with the low 8 bits of byte; returns buffer.
void* memFill(void* buffer, int byte, int length);
void memZero(void* buffer, int length);
// Copy that allows the ranges to overlap; returns target.
void* memMove(void* target, void const* source, int length);
// memcmp of length bytes; 0 when a pointer is null or length <= 0.
int memCompare(void const* a, void const* b, int length);
// Number of equal leading bytes, at most length; 0 when a pointer is null,
// length itself when length <= 0.
int commonPrefixLength(void const* a, void const* b, int length);
// Offset of the first occurrence of the needle; 0 for an empty needle; -1
// when a pointer is null, a length is negative or there is no occurrence.
int memFind(void const* haystack, int haystackLength, void const* needle, int needleLength);

}  // namespace core
}  // namespace gt
