// Forward reader over a range of units (UTF-16 characters or bytes) that it
// does not own; StringScanner and BinaryScanner are its two forms. The range
// must outlive the scanner. Indexes are absolute from the start of the range;
// searches start at the read position and give -1 when nothing is found.
#pragma once

#include <cstddef>
#include <cstring>

#include "gt/core/util/Set.h"

namespace gt {
namespace core {
namespace detail {

template <class U, class Text>
class Scanner {
public:
    // Empty unless data is not null and length > 0.
    Scanner(U const* data, int length)
        : m_data(data && length > 0 ? data : nullptr), m_length(m_data ? length : 0), m_position(0) {}
    // Empty unless begin is not null and the range holds at least one unit.
    Scanner(U const* begin, U const* end) : Scanner(begin, _rangeLength(begin, end)) {}
    virtual ~Scanner() = default;

    bool isEnd() const { return m_position >= m_length; }
    void reset() { m_position = 0; }
    int position() const { return m_position; }
    int length() const { return m_length; }

    // Moves by n, never before the start nor past the end.
    void skip(int n) {
        if (!m_data) return;
        long long target = static_cast<long long>(m_position) + n;
        if (target < 0) target = 0;
        if (target > m_length) target = m_length;
        m_position = static_cast<int>(target);
    }

    Text remaining() const { return _slice(m_position, m_length); }

    // Up to n units from the position, without moving.
    Text peek(int n) const {
        if (n <= 0) return Text();
        return _slice(m_position, _clampedEnd(n));
    }

    Text read(int n) {
        if (n <= 0) return Text();
        int end = _clampedEnd(n);
        Text result = _slice(m_position, end);
        m_position = end;
        return result;
    }

    // The first occurrence of s, unit by unit; -1 for an empty s.
    int indexOf(Text const& s) const {
        int const m = s.length();
        if (m == 0) return -1;
        U const* needle = s.data();
        for (int i = m_position, last = m_length - m; i <= last; ++i) {
            if (m_data[i] == needle[0] &&
                std::memcmp(m_data + i, needle, static_cast<std::size_t>(m) * sizeof(U)) == 0)
                return i;
        }
        return -1;
    }

    int indexOf(U unit) const {
        for (int i = m_position; i < m_length; ++i)
            if (m_data[i] == unit) return i;
        return -1;
    }

    // The member found first; at equal indexes the first in the set's order.
    // found (when not null) is emptied, then receives the winning member.
    int indexOfAny(Set<Text> const& set, Text* found) const {
        if (found) *found = Text();
        int best = -1;
        Text const* winner = nullptr;
        for (Text const& member : set) {
            int at = indexOf(member);
            if (at >= 0 && (best < 0 || at < best)) {
                best = at;
                winner = &member;
            }
        }
        if (found && winner) *found = *winner;
        return best;
    }

    // The first unit in the set; found (when not null) receives it, or 0.
    int indexOfAny(Set<U> const& set, U* found) const {
        for (int i = m_position; i < m_length; ++i) {
            if (set.contains(m_data[i])) {
                if (found) *found = m_data[i];
                return i;
            }
        }
        if (found) *found = 0;
        return -1;
    }

    int indexOfNotIn(Set<U> const& set) const {
        for (int i = m_position; i < m_length; ++i)
            if (!set.contains(m_data[i])) return i;
        return -1;
    }

    // The units up to the delimiter (or to the end without one); stopBefore
    // leaves the position on the delimiter, otherwise it is stepped over.
    Text readUntil(Text const& delimiter, bool stopBefore) {
        return _readTo(indexOf(delimiter), delimiter.length(), stopBefore);
    }
    Text readUntil(U delimiter, bool stopBefore) { return _readTo(indexOf(delimiter), 1, stopBefore); }

    Text readUntilAny(Set<Text> const& delimiters, bool stopBefore, Text* found) {
        Text chosen;
        int at = indexOfAny(delimiters, &chosen);
        Text result = _readTo(at, chosen.length(), stopBefore);
        if (found) *found = chosen;
        return result;
    }

    Text readUntilAny(Set<U> const& delimiters, bool stopBefore, U* found) {
        return _readTo(indexOfAny(delimiters, found), 1, stopBefore);
    }

    // The run of units from the position that all belong to the set.
    Text readWhile(Set<U> const& set) {
        int at = indexOfNotIn(set);
        if (at < 0) at = m_length;
        Text result = _slice(m_position, at);
        m_position = at;
        return result;
    }

private:
    static int _rangeLength(U const* begin, U const* end) {
        if (!begin || !end || end <= begin) return 0;
        std::ptrdiff_t n = end - begin;
        return n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(n);
    }

    int _clampedEnd(int n) const {
        long long end = static_cast<long long>(m_position) + n;
        return end > m_length ? m_length : static_cast<int>(end);
    }

    Text _slice(int from, int to) const {
        if (!m_data || to <= from) return Text();
        return Text(m_data + from, to - from);
    }

    Text _readTo(int at, int delimiterLength, bool stopBefore) {
        if (at < 0) {
            Text rest = remaining();
            m_position = m_length;
            return rest;
        }
        Text result = _slice(m_position, at);
        long long next = stopBefore ? at : static_cast<long long>(at) + delimiterLength;
        m_position = next > m_length ? m_length : static_cast<int>(next);
        return result;
    }

    U const* m_data;
    int m_length;
    int m_position;
};

}  // namespace detail
}  // namespace core
}  // namespace gt
