// Storage and search algorithms shared by String (UTF-16 units) and Binary
// (bytes): both are a data pointer, a capacity of the form 2^k - 1 and a
// length, with one shared read-only empty buffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>

namespace gt {
namespace core {

// Smallest capacity of the growth rule (2^k - 1, k >= 5) that holds n units;
// -1 when the request is beyond what a buffer may hold (2^30 - 1 units).
int growthCapacity(long long n);

namespace detail {

constexpr long long kMaxUnits = 0x3FFFFFFF;

inline int clipPosition(int position, int n) {
    if (position < 0) return 0;
    return position > n ? n : position;
}

inline int clipCount(int position, int count, int n) {
    if (count < 0) return 0;
    return count > n - position ? n - position : count;
}

inline int checkedTotal(long long a, long long b) {
    long long total = a + b;
    if (total > kMaxUnits) throw std::bad_alloc();
    return static_cast<int>(total);
}

// S has m_data, m_capacity, m_length and _isShared(); T is its unit type.
template <class S, class T>
struct CountedOps {
    static bool equal(T const* a, T const* b, int count) {
        return std::memcmp(a, b, static_cast<size_t>(count) * sizeof(T)) == 0;
    }

    static void terminate(S& s) {
        if (!s._isShared()) s.m_data[s.m_length] = 0;
    }

    static void grow(S& s, int n) {
        if (n <= s.m_capacity) return;
        int capacity = growthCapacity(n);
        if (capacity < 0) throw std::bad_alloc();
        T* buffer = new T[static_cast<size_t>(capacity) + 1];
        std::memcpy(buffer, s.m_data, (static_cast<size_t>(s.m_length) + 1) * sizeof(T));
        if (!s._isShared()) delete[] s.m_data;
        s.m_data = buffer;
        s.m_capacity = capacity;
    }

    static void clear(S& s) {
        if (s._isShared()) return;
        s.m_length = 0;
        s.m_data[0] = 0;
    }

    static void setLength(S& s, int n) {
        if (n < 0) n = 0;
        grow(s, n);
        if (s._isShared()) return;  // only n == 0 stays on the shared buffer
        s.m_length = n;
        terminate(s);
    }

    static void resize(S& s, int n, T fill) {
        if (n < 0) n = 0;
        grow(s, n);
        if (s._isShared()) return;
        for (int i = s.m_length; i < n; ++i)
            s.m_data[i] = fill;
        s.m_length = n;
        terminate(s);
    }

    static void shrink(S& s) {
        if (s._isShared()) return;
        if (s.m_length == 0) {
            S empty;
            s.swap(empty);
        } else if (growthCapacity(s.m_length) < s.m_capacity) {
            S copy(s);
            s.swap(copy);
        }
    }

    static void assign(S& s, T const* p, int count) {
        if (!p || count <= 0) {
            clear(s);
            return;
        }
        if (p >= s.m_data && p < s.m_data + s.m_length) {
            // A piece of ourselves: copy first, then exchange buffers.
            S copy;
            assign(copy, p, count);
            s.swap(copy);
            return;
        }
        clear(s);
        grow(s, count);
        std::memcpy(s.m_data, p, static_cast<size_t>(count) * sizeof(T));
        s.m_length = count;
        terminate(s);
    }

    static void assignFill(S& s, int count, T unit) {
        clear(s);
        if (count < 1) return;
        grow(s, count);
        for (int i = 0; i < count; ++i)
            s.m_data[i] = unit;
        s.m_length = count;
        terminate(s);
    }

    static void append(S& s, T const* p, int count) {
        if (!p || count <= 0) return;
        int total = checkedTotal(s.m_length, count);
        auto const at = reinterpret_cast<std::uintptr_t>(p);
        auto const base = reinterpret_cast<std::uintptr_t>(s.m_data);
        if (!s._isShared() && at >= base && at <= base + sizeof(T) * s.m_capacity) {
            // A piece of our own buffer: keep its offset across the growth.
            std::uintptr_t offset = (at - base) / sizeof(T);
            grow(s, total);
            p = s.m_data + offset;
        } else {
            grow(s, total);
        }
        std::memmove(s.m_data + s.m_length, p, static_cast<size_t>(count) * sizeof(T));
        s.m_length = total;
        terminate(s);
    }

    static void appendFill(S& s, int count, T unit) {
        if (count < 1) return;
        int total = checkedTotal(s.m_length, count);
        grow(s, total);
        for (int i = s.m_length; i < total; ++i)
            s.m_data[i] = unit;
        s.m_length = total;
        terminate(s);
    }

    static void insert(S& s, int position, S const& other) {
        if (&other == &s) {
            S copy(other);
            insert(s, position, copy);
            return;
        }
        if (position < 0) position = 0;
        if (position >= s.m_length) {
            append(s, other.m_data, other.m_length);
            return;
        }
        if (other.m_length == 0) return;
        int total = checkedTotal(s.m_length, other.m_length);
        grow(s, total);
        std::memmove(s.m_data + position + other.m_length, s.m_data + position,
                     static_cast<size_t>(s.m_length - position) * sizeof(T));
        std::memcpy(s.m_data + position, other.m_data, static_cast<size_t>(other.m_length) * sizeof(T));
        s.m_length = total;
        terminate(s);
    }

    static void remove(S& s, int position, int count) {
        if (position >= s.m_length || count <= 0) return;
        if (position < 0) position = 0;
        if (count > s.m_length - position) count = s.m_length - position;
        std::memmove(s.m_data + position, s.m_data + position + count,
                     static_cast<size_t>(s.m_length - position - count) * sizeof(T));
        s.m_length -= count;
        terminate(s);
    }

    static void replaceRange(S& s, int position, int count, S const& other) {
        if (&other == &s) {
            S copy(other);
            replaceRange(s, position, count, copy);
            return;
        }
        remove(s, position, count);
        insert(s, position, other);
    }

    static int indexOf(S const& s, S const& needle, int from) {
        if (from < 0) return -1;
        int m = needle.m_length;
        if (from > s.m_length - m) return -1;
        if (m == 0) return from;
        T first = needle.m_data[0];
        for (int i = from, last = s.m_length - m; i <= last; ++i) {
            if (s.m_data[i] == first && equal(s.m_data + i, needle.m_data, m)) return i;
        }
        return -1;
    }

    static int lastIndexOf(S const& s, S const& needle, int from) {
        if (from < 0) return -1;
        int m = needle.m_length;
        if (from > s.m_length - m) from = s.m_length - m;
        for (int i = from; i >= 0; --i) {
            if (equal(s.m_data + i, needle.m_data, m)) return i;
        }
        return -1;
    }

    static int indexOfUnit(S const& s, T unit, int from) {
        if (from < 0 || from >= s.m_length) return -1;
        for (int i = from; i < s.m_length; ++i)
            if (s.m_data[i] == unit) return i;
        return -1;
    }

    static int lastIndexOfUnit(S const& s, T unit, int from) {
        if (from < 0) return -1;
        if (from >= s.m_length) from = s.m_length - 1;
        for (int i = from; i >= 0; --i)
            if (s.m_data[i] == unit) return i;
        return -1;
    }

    // Every non-overlapping occurrence, left to right; the replacement is
    // never searched again. No occurrence or an empty needle: untouched.
    static void replaceAll(S& s, S const& needle, S const& replacement) {
        if (needle.m_length == 0) return;
        int found = indexOf(s, needle, 0);
        if (found < 0) return;
        S result;
        int from = 0;
        while (found >= 0) {
            append(result, s.m_data + from, found - from);
            append(result, replacement.m_data, replacement.m_length);
            from = found + needle.m_length;
            found = indexOf(s, needle, from);
        }
        append(result, s.m_data + from, s.m_length - from);
        s.swap(result);
    }

    static S concat(S const& a, S const& b) {
        S result;
        int total = checkedTotal(a.m_length, b.m_length);
        if (total > 0) grow(result, total);
        append(result, a.m_data, a.m_length);
        append(result, b.m_data, b.m_length);
        return result;
    }

    // Concatenation with a NUL-terminated text: reserve the value's length + 32.
    static S concatText(T const* before, S const& value, T const* after) {
        S result;
        grow(result, checkedTotal(value.m_length, 32));
        if (before) append(result, before, textLength(before));
        append(result, value.m_data, value.m_length);
        if (after) append(result, after, textLength(after));
        return result;
    }

    static int textLength(T const* p) {
        T const* q = p;
        while (*q)
            ++q;
        long long n = q - p;
        if (n > kMaxUnits) throw std::bad_alloc();
        return static_cast<int>(n);
    }
};

}  // namespace detail
}  // namespace core
}  // namespace gt
