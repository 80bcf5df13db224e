// Counted byte buffer value; the byte twin of String.
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class Binary {
public:
    Binary() noexcept;
    Binary(void const* data, int count);
    Binary(char const* text);
    Binary(char const* first, char const* last);
    Binary(int count, char byte);
    Binary(Binary const& other);
    Binary(Binary const& other, int position, int count);
    Binary(Binary&& other) noexcept;
    virtual ~Binary();

    Binary& operator=(Binary const& other);
    Binary& operator=(Binary&& other) noexcept;

    Binary& assign(char const* data, int count);
    Binary& assign(char const* text);
    Binary& assign(char const* first, char const* last);
    Binary& assign(int count, char byte);
    Binary& assign(Binary const& other, int position, int count);

    void swap(Binary& other) noexcept;
    static Binary const& emptyBinary();

    void reserve(int n);
    void setLength(int n);
    void resize(int n, char fill);
    void clear();
    void shrink();
    bool copyTo(void* destination, int size) const;

    int length() const { return m_length; }
    int capacity() const { return m_capacity; }
    char const* data() const { return m_data; }
    char* data() { return m_data; }
    bool isEmpty() const { return m_length == 0; }

    char& operator[](int index);
    char const& operator[](int index) const;
    [[noreturn]] static void throwOutOfRange(int index, int size);

    Binary& append(Binary const& other);
    Binary& append(char const* text);
    Binary& append(char byte);
    Binary& append(void const* data, int count);
    Binary& append(int count, char byte);
    Binary& append(Binary const& other, int position, int count);
    Binary& operator+=(Binary const& other) { return append(other); }
    Binary& operator+=(char const* text) { return append(text); }
    Binary& operator+=(char byte) { return append(byte); }

    Binary& insert(int position, Binary const& other);
    Binary& remove(int position, int count);
    Binary& replace(int position, int count, Binary const& other);
    Binary& remove(Binary const& needle);
    Binary& replace(Binary const& needle, Binary const& replacement);

    int indexOf(Binary const& needle) const;
    int indexOf(Binary const& needle, int from) const;
    int lastIndexOf(Binary const& needle) const;
    int lastIndexOf(Binary const& needle, int from) const;
    int indexOf(char byte) const;
    int indexOf(char byte, int from) const;
    int lastIndexOf(char byte) const;
    int lastIndexOf(char byte, int from) const;

    Binary mid(int position, int count) const;
    Binary left(int n) const;
    Binary right(int n) const;

    bool operator==(Binary const& other) const;
    bool operator!=(Binary const& other) const { return !(*this == other); }
    bool operator<(Binary const& other) const;
    bool operator>(Binary const& other) const { return other < *this; }
    bool operator<=(Binary const& other) const { return !(other < *this); }
    bool operator>=(Binary const& other) const { return !(*this < other); }

    // Every byte, a zero byte included (see convertFromUtf8).
    void utf8ToString(String& out) const;
    String utf8ToString() const;
    void ansiToString(String& out) const;
    String ansiToString() const;

private:
    template <class, class>
    friend struct detail::CountedOps;
    bool _isShared() const;

    char* m_data;
    int m_capacity;
    int m_length;
};

Binary operator+(Binary const& a, char const* b);
Binary operator+(char const* a, Binary const& b);
Binary operator+(Binary const& a, Binary const& b);
Binary operator+(Binary&& a, char const* b);
Binary operator+(Binary&& a, Binary const& b);

}  // namespace core
}  // namespace gt
