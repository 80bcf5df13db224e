#include "gt/core/lang/NumberText.h"

#include <locale.h>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace gt {
namespace core {
namespace detail {

namespace {

bool isSpace(Char c) { return (c >= 9 && c <= 13) || c == 32; }

locale_t cLocale() {
    static locale_t const loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

}  // namespace

long long parseDecimal(String const& text, long long minValue, long long maxValue) {
    Char const* p = text.data();
    Char const* end = p + text.length();
    while (p < end && isSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == u'+' || *p == u'-')) {
        negative = *p == u'-';
        ++p;
    }
    // Accumulate the magnitude in unsigned 64 bits, saturating once it passes
    // what either limit can hold.
    unsigned long long limit = negative ? 0ULL - static_cast<unsigned long long>(minValue)
                                        : static_cast<unsigned long long>(maxValue);
    unsigned long long magnitude = 0;
    bool saturated = false;
    for (; p < end && *p >= u'0' && *p <= u'9'; ++p) {
        unsigned digit = static_cast<unsigned>(*p - u'0');
        if (saturated) continue;
        if (magnitude > (limit - digit) / 10) {
            saturated = true;
            continue;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (saturated) return negative ? minValue : maxValue;
    if (negative) return static_cast<long long>(0ULL - magnitude);
    return static_cast<long long>(magnitude);
}

long long parseHex(String const& text) {
    int n = text.length();
    if (n == 0) return 0;
    Char const* s = text.data();
    unsigned long long weight = s[0] == u'-' ? ~0ULL : 1ULL;
    unsigned long long value = 0;
    for (int i = n - 1; i >= 0; --i) {
        Char c = s[i];
        unsigned digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            break;
        value += digit * weight;
        weight *= 16;
    }
    return static_cast<long long>(value);
}

String formatDecimal(long long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld", value);
    return String::fromUtf8(buffer);
}

String formatHex(long long value) {
    unsigned long long magnitude = static_cast<unsigned long long>(value);
    bool negative = value < 0;
    if (negative) magnitude = 0ULL - magnitude;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, negative ? "-%llx" : "%llx", magnitude);
    return String::fromUtf8(buffer);
}

double parseDouble(String const& text) {
    std::string narrow;
    narrow.reserve(static_cast<size_t>(text.length()));
    for (int i = 0; i < text.length(); ++i) {
        Char c = text.data()[i];
        if (c == 0 || c >= 0x80) break;
        narrow.push_back(static_cast<char>(c));
    }
    return strtod_l(narrow.c_str(), nullptr, cLocale());
}

String formatDouble(char const* format, double value, int bufferUnits) {
    std::string buffer(static_cast<size_t>(bufferUnits), '\0');
    locale_t previous = uselocale(cLocale());
    int written = std::snprintf(&buffer[0], buffer.size(), format, value);
    uselocale(previous);
    if (written < 0) return String();
    if (written > bufferUnits - 1) written = bufferUnits - 1;
    buffer.resize(static_cast<size_t>(written));
    // The exponent has a sign and at least three digits ("1e+020").
    size_t e = buffer.find_first_of("eE");
    if (e != std::string::npos && e + 1 < buffer.size() && (buffer[e + 1] == '+' || buffer[e + 1] == '-')) {
        size_t digits = buffer.size() - (e + 2);
        if (digits < 3) buffer.insert(e + 2, 3 - digits, '0');
    }
    return String::fromUtf8(buffer.c_str());
}

}  // namespace detail
}  // namespace core
}  // namespace gt
