// Counted UTF-16 string value with its own heap buffer.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

namespace gt {
namespace core {

using Char = char16_t;

class Binary;
class DateTime;
namespace detail {
template <class S, class T>
struct CountedOps;
}

class String {
public:
    String() noexcept;
    String(Char const* text);
    String(Char const* text, int count);
    String(Char const* first, Char const* last);
    String(int count, Char ch);
    String(String const& other);
    String(String const& other, int position, int count);
    String(String&& other) noexcept;
    virtual ~String();

    String& operator=(Char const* text);
    String& operator=(String const& other);
    String& operator=(String&& other) noexcept;

    String& assign(Char const* text, int count);
    String& assign(Char const* first, Char const* last);
    String& assign(int count, Char ch);
    String& assign(String const& other, int position, int count);

    void swap(String& other) noexcept;

    // Storage.
    void reserve(int n);
    void setLength(int n);
    void resize(int n, Char fill);
    void clear();
    void shrink();

    int length() const { return m_length; }
    int capacity() const { return m_capacity; }
    Char const* data() const { return m_data; }
    Char* data() { return m_data; }
    bool isEmpty() const { return m_length == 0; }

    Char& operator[](int index);
    Char const& operator[](int index) const;
    Char& at(int index) { return (*this)[index]; }
    Char const& at(int index) const { return (*this)[index]; }
    [[noreturn]] static void throwOutOfRange(int index, int size);

    // Appending, inserting, removing, replacing.
    String& append(String const& other);
    String& append(Char const* text);
    String& append(Char ch);
    String& append(Char const* text, int count);
    String& append(int count, Char ch);
    String& append(String const& other, int position, int count);
    String& operator+=(String const& other) { return append(other); }
    String& operator+=(Char const* text) { return append(text); }
    String& operator+=(Char ch) { return append(ch); }

    String& insert(int position, String const& other);
    String& remove(int position, int count);
    String& replace(int position, int count, String const& other);
    String& remove(String const& needle);
    String& replace(String const& needle, String const& replacement);
    String& replace(Char from, Char to);

    // Searching.
    int indexOf(String const& needle) const;
    int indexOf(String const& needle, int from) const;
    int lastIndexOf(String const& needle) const;
    int lastIndexOf(String const& needle, int from) const;
    int indexOf(Char ch) const;
    int indexOf(Char ch, int from) const;
    int lastIndexOf(Char ch) const;
    int lastIndexOf(Char ch, int from) const;
    bool contains(String const& needle) const { return indexOf(needle) >= 0; }
    bool startsWith(String const& prefix) const;
    bool endsWith(String const& suffix) const;

    // Pieces.
    String before(String const& separator) const;
    String before(Char separator) const;
    String after(String const& separator) const;
    String after(Char separator) const;
    String beforeLast(String const& separator) const;
    String beforeLast(Char separator) const;
    String afterLast(String const& separator) const;
    String afterLast(Char separator) const;
    String mid(int position, int count) const;
    String left(int n) const;
    String right(int n) const;

    // Cutting in place.
    String& truncateAt(String const& separator);
    String& truncateAt(Char separator);
    String& truncateAtLast(String const& separator);
    String& truncateAtLast(Char separator);
    String& removeThrough(String const& separator);
    String& removeThrough(Char separator);
    String& removeThroughLast(String const& separator);
    String& removeThroughLast(Char separator);

    // Trimming.
    String& trimRight();
    String& trimLeft();
    String& trim();
    String& trimRight(Char ch);
    String& trimLeft(Char ch);
    String& trim(Char ch);
    String& trimRight(String const& needle);
    String& trimLeft(String const& needle);
    String& trim(String const& needle);

    // Comparison.
    bool operator==(String const& other) const;
    bool operator!=(String const& other) const { return !(*this == other); }
    bool operator<(String const& other) const;
    bool operator>(String const& other) const { return other < *this; }
    bool operator<=(String const& other) const { return !(other < *this); }
    bool operator>=(String const& other) const { return !(*this < other); }
    int compare(String const& other) const;
    int compareAt(int position, int count, String const& other) const;

    // Case and conversions.
    String toLower() const;
    String toUpper() const;
    bool toBool() const;
    int toInt() const;
    int toInt32() const { return toInt(); }
    signed char toInt8() const;
    short toInt16() const;
    long long toInt64() const;
    double toDouble() const;
    DateTime toDateTime() const;
    void toBinary(Binary& out) const;
    Binary toBinary() const;
    void toOem(Binary& out) const;
    Binary toOem() const;

    // UTF-8 helpers for the C++ side (std::string in and out).
    static String fromUtf8(char const* text);
    static String fromUtf8(char const* text, int count);

private:
    template <class, class>
    friend struct detail::CountedOps;
    bool _isShared() const;

    Char* m_data;
    int m_capacity;
    int m_length;
};

String operator+(String const& a, Char const* b);
String operator+(Char const* a, String const& b);
String operator+(String const& a, String const& b);
String operator+(String&& a, Char const* b);
String operator+(String&& a, String const& b);
String operator+(String const& a, Char b);
String operator+(String&& a, Char b);

}  // namespace core
}  // namespace gt

// Strings as keys of hashed containers (HashMap<String, V>).
template <>
struct std::hash<gt::core::String> {
    size_t operator()(gt::core::String const& s) const noexcept {
        return std::hash<std::u16string_view>()(
            std::u16string_view(s.data(), static_cast<size_t>(s.length())));
    }
};
