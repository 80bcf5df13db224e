#include "gt/core/lang/String.h"

#include <utility>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/CodePage.h"
#include "gt/core/lang/CountedBuffer.h"
#include "gt/core/lang/Double.h"
#include "gt/core/lang/Exception.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/lang/Long.h"

namespace gt {
namespace core {

namespace {

using Ops = detail::CountedOps<String, Char>;

// The one read-only empty buffer shared by every empty String.
Char const s_empty[1] = {0};

Char* sharedEmpty() { return const_cast<Char*>(s_empty); }

bool isSpace(Char c) { return (c >= 9 && c <= 13) || c == 32; }

// Byte order of little-endian UTF-16 over `count` code units: the first
// differing byte decides, low byte first.
int compareUnits(Char const* a, Char const* b, int count) {
    for (int i = 0; i < count; ++i) {
        if (a[i] == b[i]) continue;
        unsigned lowA = a[i] & 0xFFu, lowB = b[i] & 0xFFu;
        if (lowA != lowB) return lowA < lowB ? -1 : 1;
        return (a[i] >> 8) < (b[i] >> 8) ? -1 : 1;
    }
    return 0;
}

}  // namespace

int growthCapacity(long long n) {
    if (n < 32) return 31;
    if (n > detail::kMaxUnits) return -1;
    long long size = 32;
    while (size < n + 1)
        size *= 2;
    return static_cast<int>(size - 1);
}

String::String() noexcept : m_data(sharedEmpty()), m_capacity(0), m_length(0) {}

String::String(Char const* text) : String() { *this = text; }

String::String(Char const* text, int count) : String() { Ops::assign(*this, text, count); }

String::String(Char const* first, Char const* last) : String() { assign(first, last); }

String::String(int count, Char ch) : String() { Ops::assignFill(*this, count, ch); }

String::String(String const& other) : String() { Ops::assign(*this, other.m_data, other.m_length); }

String::String(String const& other, int position, int count) : String() { assign(other, position, count); }

String::String(String&& other) noexcept : String() { swap(other); }

String::~String() {
    if (!_isShared()) delete[] m_data;
    m_data = sharedEmpty();
    m_capacity = 0;
    m_length = 0;
}

bool String::_isShared() const { return m_data == s_empty; }

String& String::operator=(Char const* text) {
    if (!text) throw Exception(String(u"Assigned string with null pointer!"));
    Ops::assign(*this, text, Ops::textLength(text));
    return *this;
}

String& String::operator=(String const& other) {
    if (this != &other) Ops::assign(*this, other.m_data, other.m_length);
    return *this;
}

String& String::operator=(String&& other) noexcept {
    swap(other);
    return *this;
}

String& String::assign(Char const* text, int count) {
    Ops::assign(*this, text, count);
    return *this;
}

String& String::assign(Char const* first, Char const* last) {
    if (!first || !last || last <= first) {
        clear();
        return *this;
    }
    Ops::assign(*this, first, detail::checkedTotal(last - first, 0));
    return *this;
}

String& String::assign(int count, Char ch) {
    Ops::assignFill(*this, count, ch);
    return *this;
}

String& String::assign(String const& other, int position, int count) {
    int p = detail::clipPosition(position, other.m_length);
    Ops::assign(*this, other.m_data + p, detail::clipCount(p, count, other.m_length));
    return *this;
}

void String::swap(String& other) noexcept {
    std::swap(m_data, other.m_data);
    std::swap(m_capacity, other.m_capacity);
    std::swap(m_length, other.m_length);
}

void String::reserve(int n) { Ops::grow(*this, n); }
void String::setLength(int n) { Ops::setLength(*this, n); }
void String::resize(int n, Char fill) { Ops::resize(*this, n, fill); }
void String::clear() { Ops::clear(*this); }
void String::shrink() { Ops::shrink(*this); }

Char& String::operator[](int index) {
    if (index < 0 || index >= m_length) throwOutOfRange(index, m_length);
    return m_data[index];
}

Char const& String::operator[](int index) const {
    if (index < 0 || index >= m_length) throwOutOfRange(index, m_length);
    return m_data[index];
}

void String::throwOutOfRange(int index, int size) { throw OutOfRangeException(index, size); }

String& String::append(String const& other) {
    Ops::append(*this, other.m_data, other.m_length);
    return *this;
}

String& String::append(Char const* text) {
    if (text) Ops::append(*this, text, Ops::textLength(text));
    return *this;
}

String& String::append(Char ch) {
    Ops::append(*this, &ch, 1);
    return *this;
}

String& String::append(Char const* text, int count) {
    Ops::append(*this, text, count);
    return *this;
}

String& String::append(int count, Char ch) {
    Ops::appendFill(*this, count, ch);
    return *this;
}

String& String::append(String const& other, int position, int count) {
    int p = detail::clipPosition(position, other.m_length);
    Ops::append(*this, other.m_data + p, detail::clipCount(p, count, other.m_length));
    return *this;
}

String& String::insert(int position, String const& other) {
    Ops::insert(*this, position, other);
    return *this;
}

String& String::remove(int position, int count) {
    Ops::remove(*this, position, count);
    return *this;
}

String& String::replace(int position, int count, String const& other) {
    Ops::replaceRange(*this, position, count, other);
    return *this;
}

String& String::remove(String const& needle) {
    Ops::replaceAll(*this, needle, String());
    return *this;
}

String& String::replace(String const& needle, String const& replacement) {
    Ops::replaceAll(*this, needle, replacement);
    return *this;
}

String& String::replace(Char from, Char to) {
    for (int i = 0; i < m_length; ++i)
        if (m_data[i] == from) m_data[i] = to;
    return *this;
}

int String::indexOf(String const& needle) const { return Ops::indexOf(*this, needle, 0); }
int String::indexOf(String const& needle, int from) const { return Ops::indexOf(*this, needle, from); }
int String::lastIndexOf(String const& needle) const {
    return Ops::lastIndexOf(*this, needle, m_length - needle.m_length);
}
int String::lastIndexOf(String const& needle, int from) const {
    return Ops::lastIndexOf(*this, needle, from);
}
int String::indexOf(Char ch) const { return Ops::indexOfUnit(*this, ch, 0); }
int String::indexOf(Char ch, int from) const { return Ops::indexOfUnit(*this, ch, from); }
int String::lastIndexOf(Char ch) const { return Ops::lastIndexOfUnit(*this, ch, m_length - 1); }
int String::lastIndexOf(Char ch, int from) const { return Ops::lastIndexOfUnit(*this, ch, from); }

bool String::startsWith(String const& prefix) const {
    return prefix.m_length <= m_length && Ops::equal(m_data, prefix.m_data, prefix.m_length);
}

bool String::endsWith(String const& suffix) const {
    return suffix.m_length <= m_length &&
           Ops::equal(m_data + m_length - suffix.m_length, suffix.m_data, suffix.m_length);
}

String String::before(String const& separator) const {
    int i = indexOf(separator);
    return i < 0 ? *this : left(i);
}

String String::before(Char separator) const {
    int i = indexOf(separator);
    return i < 0 ? *this : left(i);
}

String String::after(String const& separator) const {
    int i = indexOf(separator);
    return i < 0 ? String() : mid(i + separator.m_length, m_length);
}

String String::after(Char separator) const {
    int i = indexOf(separator);
    return i < 0 ? String() : mid(i + 1, m_length);
}

String String::beforeLast(String const& separator) const {
    int i = lastIndexOf(separator);
    return i < 0 ? *this : left(i);
}

String String::beforeLast(Char separator) const {
    int i = lastIndexOf(separator);
    return i < 0 ? *this : left(i);
}

String String::afterLast(String const& separator) const {
    int i = lastIndexOf(separator);
    return i < 0 ? *this : mid(i + separator.m_length, m_length);
}

String String::afterLast(Char separator) const {
    int i = lastIndexOf(separator);
    return i < 0 ? *this : mid(i + 1, m_length);
}

String String::mid(int position, int count) const { return String(*this, position, count); }

String String::left(int n) const {
    if (n <= 0) return String();
    return String(m_data, n > m_length ? m_length : n);
}

String String::right(int n) const {
    if (n <= 0) return String();
    if (n > m_length) n = m_length;
    return String(m_data + m_length - n, n);
}

// Cuts: keep before position `at` (or clear / leave when absent).
String& String::truncateAt(String const& separator) {
    int i = indexOf(separator);
    if (i >= 0) setLength(i);
    return *this;
}

String& String::truncateAt(Char separator) {
    int i = indexOf(separator);
    if (i >= 0) setLength(i);
    return *this;
}

String& String::truncateAtLast(String const& separator) {
    setLength(lastIndexOf(separator));
    return *this;
}

String& String::truncateAtLast(Char separator) {
    setLength(lastIndexOf(separator));
    return *this;
}

String& String::removeThrough(String const& separator) {
    int i = indexOf(separator);
    return i < 0 ? (clear(), *this) : remove(0, i + separator.m_length);
}

String& String::removeThrough(Char separator) {
    int i = indexOf(separator);
    return i < 0 ? (clear(), *this) : remove(0, i + 1);
}

String& String::removeThroughLast(String const& separator) {
    int i = lastIndexOf(separator);
    return i < 0 ? *this : remove(0, i + separator.m_length);
}

String& String::removeThroughLast(Char separator) {
    int i = lastIndexOf(separator);
    return i < 0 ? *this : remove(0, i + 1);
}

String& String::trimRight() {
    int n = m_length;
    while (n > 0 && isSpace(m_data[n - 1]))
        --n;
    setLength(n);
    return *this;
}

String& String::trimLeft() {
    int p = 0;
    while (p < m_length && isSpace(m_data[p]))
        ++p;
    return remove(0, p);
}

String& String::trim() { return trimRight().trimLeft(); }

String& String::trimRight(Char ch) {
    int n = m_length;
    while (n > 0 && m_data[n - 1] == ch)
        --n;
    setLength(n);
    return *this;
}

String& String::trimLeft(Char ch) {
    int p = 0;
    while (p < m_length && m_data[p] == ch)
        ++p;
    return remove(0, p);
}

String& String::trim(Char ch) { return trimRight(ch).trimLeft(ch); }

// An empty needle leaves the text as it is (the loops could not end otherwise).
String& String::trimRight(String const& needle) {
    if (&needle == this) {
        clear();
        return *this;
    }
    int m = needle.m_length;
    if (m == 0) return *this;
    int n = m_length;
    while (n >= m && Ops::equal(m_data + n - m, needle.m_data, m))
        n -= m;
    setLength(n);
    return *this;
}

String& String::trimLeft(String const& needle) {
    if (&needle == this) {
        clear();
        return *this;
    }
    int m = needle.m_length;
    if (m == 0) return *this;
    int p = 0;
    while (p + m <= m_length && Ops::equal(m_data + p, needle.m_data, m))
        p += m;
    return remove(0, p);
}

String& String::trim(String const& needle) {
    if (&needle == this) {
        clear();
        return *this;
    }
    return trimRight(needle).trimLeft(needle);
}

bool String::operator==(String const& other) const {
    return m_length == other.m_length && Ops::equal(m_data, other.m_data, m_length);
}

bool String::operator<(String const& other) const {
    int n = m_length < other.m_length ? m_length : other.m_length;
    int c = compareUnits(m_data, other.m_data, n);
    if (c != 0) return c < 0;
    return m_length < other.m_length;
}

int String::compare(String const& other) const {
    int n = m_length < other.m_length ? m_length : other.m_length;
    return compareUnits(m_data, other.m_data, n);
}

int String::compareAt(int position, int count, String const& other) const {
    int p = detail::clipPosition(position, m_length);
    if (count < 0) count = 0;
    int m = count < other.m_length ? count : other.m_length;
    int available = m_length - p;
    return compareUnits(m_data + p, other.m_data, m < available ? m : available);
}

String String::toLower() const {
    String result(*this);
    for (int i = 0; i < result.m_length; ++i) {
        Char c = result.m_data[i];
        if (c >= u'A' && c <= u'Z') result.m_data[i] = static_cast<Char>(c + 32);
    }
    return result;
}

String String::toUpper() const {
    String result(*this);
    for (int i = 0; i < result.m_length; ++i) {
        Char c = result.m_data[i];
        if (c >= u'a' && c <= u'z') result.m_data[i] = static_cast<Char>(c - 32);
    }
    return result;
}

bool String::toBool() const { return toLower() == String(u"true"); }

int String::toInt() const { return Integer::parse(*this); }

signed char String::toInt8() const { return static_cast<signed char>(Integer::parse(*this)); }

short String::toInt16() const { return static_cast<short>(Integer::parse(*this)); }

long long String::toInt64() const { return Long::parse(*this); }

double String::toDouble() const { return Double::parse(*this); }

void String::toBinary(Binary& out) const { convertToUtf8(*this, &out); }

Binary String::toBinary() const {
    Binary out;
    convertToUtf8(*this, &out);
    return out;
}

void String::toOem(Binary& out) const { convertToOem(*this, &out); }

Binary String::toOem() const {
    Binary out;
    convertToOem(*this, &out);
    return out;
}

String String::fromUtf8(char const* text) {
    if (!text) return String();
    return Binary(text).utf8ToString();
}

String String::fromUtf8(char const* text, int count) { return Binary(text, count).utf8ToString(); }

String operator+(String const& a, Char const* b) { return Ops::concatText(nullptr, a, b); }
String operator+(Char const* a, String const& b) { return Ops::concatText(a, b, nullptr); }
String operator+(String const& a, String const& b) { return Ops::concat(a, b); }

String operator+(String&& a, Char const* b) {
    String result(std::move(a));
    result.append(b);
    return result;
}

String operator+(String&& a, String const& b) {
    String result(std::move(a));
    result.append(b);
    return result;
}

String operator+(String const& a, Char b) {
    String result(a);
    result.append(b);
    return result;
}

String operator+(String&& a, Char b) {
    String result(std::move(a));
    result.append(b);
    return result;
}

}  // namespace core
}  // namespace gt
