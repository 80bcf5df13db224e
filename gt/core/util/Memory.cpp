#include "gt/core/util/Memory.h"

#include <cstddef>
#include <cstring>

namespace gt {
namespace core {

void* memFill(void* buffer, int byte, int length) {
    if (buffer && length > 0) std::memset(buffer, byte & 0xFF, static_cast<std::size_t>(length));
    return buffer;
}

void memZero(void* buffer, int length) {
    if (buffer && length > 0) std::memset(buffer, 0, static_cast<std::size_t>(length));
}

void* memMove(void* target, void const* source, int length) {
    if (target && source && length > 0) std::memmove(target, source, static_cast<std::size_t>(length));
    return target;
}

int memCompare(void const* a, void const* b, int length) {
    if (!a || !b || length <= 0) return 0;
    return std::memcmp(a, b, static_cast<std::size_t>(length));
}

int commonPrefixLength(void const* a, void const* b, int length) {
    if (!a || !b) return 0;
    if (length <= 0) return length;
    auto const* p = static_cast<unsigned char const*>(a);
    auto const* q = static_cast<unsigned char const*>(b);
    int n = 0;
    while (n < length && p[n] == q[n])
        ++n;
    return n;
}

int memFind(void const* haystack, int haystackLength, void const* needle, int needleLength) {
    if (!haystack || !needle || haystackLength < 0 || needleLength < 0) return -1;
    if (needleLength == 0) return 0;
    auto const* base = static_cast<unsigned char const*>(haystack);
    auto const* first = static_cast<unsigned char const*>(needle);
    int const last = haystackLength - needleLength;
    for (int i = 0; i <= last;) {
        // Jump to the next candidate first byte, then compare the rest.
        auto const* hit = static_cast<unsigned char const*>(
            std::memchr(base + i, *first, static_cast<std::size_t>(last - i + 1)));
        if (!hit) return -1;
        i = static_cast<int>(hit - base);
        if (std::memcmp(hit, first, static_cast<std::size_t>(needleLength)) == 0) return i;
        ++i;
    }
    return -1;
}

}  // namespace core
}  // namespace gt
