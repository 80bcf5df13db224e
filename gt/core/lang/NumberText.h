// Locale-free number text shared by the number value classes.
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace core {
namespace detail {

// Base-10 parse in the manner of the C library: leading white space, an
// optional sign, digits up to the first non-digit (0 without any); the
// result saturates at [minValue, maxValue].
long long parseDecimal(String const& text, long long minValue, long long maxValue);
// Hexadecimal run at the end of the text, negated for a leading '-' (wraps).
long long parseHex(String const& text);
String formatDecimal(long long value);
// Lower-case hexadecimal; a negative value is "-" + its magnitude.
String formatHex(long long value);
// The C library's floating-point parse, in the "C" locale.
double parseDouble(String const& text);
// printf-style formatting of one double in the "C" locale.
String formatDouble(char const* format, double value, int bufferUnits);

}  // namespace detail
}  // namespace core
}  // namespace gt

namespace gt {
namespace core {
namespace detail {

// One integer value of type T whose text parse has the limits of P (the
// 32-bit parse for the narrow types, which then keep only their low bits).
template <class T, class P>
class IntegerValue {
public:
    IntegerValue() : m_value(0) {}
    IntegerValue(T value) : m_value(value) {}
    explicit IntegerValue(String const& text) : m_value(static_cast<T>(parse(text))) {}

    T value() const { return m_value; }
    operator T() const { return m_value; }

    String toString() const { return formatDecimal(m_value); }
    String toHexString() const { return formatHex(m_value); }

    static P parse(String const& text) { return static_cast<P>(parseDecimal(text, minOf<P>(), maxOf<P>())); }
    static long long parseHex(String const& text) { return detail::parseHex(text); }
    static T maxValue() { return maxOf<T>(); }
    static T minValue() { return minOf<T>(); }

private:
    template <class U>
    static constexpr U maxOf() {
        return static_cast<U>(~0ULL >> (65 - 8 * sizeof(U)));
    }
    template <class U>
    static constexpr U minOf() {
        return static_cast<U>(-maxOf<U>() - 1);
    }

    T m_value;
};

}  // namespace detail
}  // namespace core
}  // namespace gt
