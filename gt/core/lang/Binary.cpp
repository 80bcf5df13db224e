#include "gt/core/lang/Binary.h"

#include <cstring>
#include <utility>

#include "gt/core/lang/CodePage.h"
#include "gt/core/lang/CountedBuffer.h"
#include "gt/core/lang/Exception.h"

namespace gt {
namespace core {

namespace {

using Ops = detail::CountedOps<Binary, char>;

// The one read-only empty buffer shared by every empty Binary.
char const s_empty[1] = {0};

char* sharedEmpty() { return const_cast<char*>(s_empty); }

}  // namespace

Binary::Binary() noexcept : m_data(sharedEmpty()), m_capacity(0), m_length(0) {}

Binary::Binary(void const* data, int count) : Binary() {
    Ops::assign(*this, static_cast<char const*>(data), count);
}

Binary::Binary(char const* text) : Binary() { assign(text); }

Binary::Binary(char const* first, char const* last) : Binary() { assign(first, last); }

Binary::Binary(int count, char byte) : Binary() { Ops::assignFill(*this, count, byte); }

Binary::Binary(Binary const& other) : Binary() { Ops::assign(*this, other.m_data, other.m_length); }

Binary::Binary(Binary const& other, int position, int count) : Binary() { assign(other, position, count); }

Binary::Binary(Binary&& other) noexcept : Binary() { swap(other); }

Binary::~Binary() {
    if (!_isShared()) delete[] m_data;
    m_data = sharedEmpty();
    m_capacity = 0;
    m_length = 0;
}

bool Binary::_isShared() const { return m_data == s_empty; }

Binary const& Binary::emptyBinary() {
    static Binary const empty;
    return empty;
}

Binary& Binary::operator=(Binary const& other) {
    if (this != &other) Ops::assign(*this, other.m_data, other.m_length);
    return *this;
}

Binary& Binary::operator=(Binary&& other) noexcept {
    swap(other);
    return *this;
}

Binary& Binary::assign(char const* data, int count) {
    Ops::assign(*this, data, count);
    return *this;
}

Binary& Binary::assign(char const* text) {
    if (!text) {
        clear();
        return *this;
    }
    Ops::assign(*this, text, Ops::textLength(text));
    return *this;
}

Binary& Binary::assign(char const* first, char const* last) {
    if (!first || !last || last <= first) {
        clear();
        return *this;
    }
    Ops::assign(*this, first, detail::checkedTotal(last - first, 0));
    return *this;
}

Binary& Binary::assign(int count, char byte) {
    Ops::assignFill(*this, count, byte);
    return *this;
}

Binary& Binary::assign(Binary const& other, int position, int count) {
    int p = detail::clipPosition(position, other.m_length);
    Ops::assign(*this, other.m_data + p, detail::clipCount(p, count, other.m_length));
    return *this;
}

void Binary::swap(Binary& other) noexcept {
    std::swap(m_data, other.m_data);
    std::swap(m_capacity, other.m_capacity);
    std::swap(m_length, other.m_length);
}

void Binary::reserve(int n) { Ops::grow(*this, n); }
void Binary::setLength(int n) { Ops::setLength(*this, n); }
void Binary::resize(int n, char fill) { Ops::resize(*this, n, fill); }
void Binary::clear() { Ops::clear(*this); }
void Binary::shrink() { Ops::shrink(*this); }

bool Binary::copyTo(void* destination, int size) const {
    if (!destination || size < m_length) return false;
    if (m_length > 0) std::memcpy(destination, m_data, static_cast<size_t>(m_length));
    return true;
}

char& Binary::operator[](int index) {
    if (index < 0 || index >= m_length) throwOutOfRange(index, m_length);
    return m_data[index];
}

char const& Binary::operator[](int index) const {
    if (index < 0 || index >= m_length) throwOutOfRange(index, m_length);
    return m_data[index];
}

void Binary::throwOutOfRange(int index, int size) { throw OutOfRangeException(index, size); }

Binary& Binary::append(Binary const& other) {
    Ops::append(*this, other.m_data, other.m_length);
    return *this;
}

Binary& Binary::append(char const* text) {
    if (text) Ops::append(*this, text, Ops::textLength(text));
    return *this;
}

Binary& Binary::append(char byte) {
    Ops::append(*this, &byte, 1);
    return *this;
}

Binary& Binary::append(void const* data, int count) {
    Ops::append(*this, static_cast<char const*>(data), count);
    return *this;
}

Binary& Binary::append(int count, char byte) {
    Ops::appendFill(*this, count, byte);
    return *this;
}

Binary& Binary::append(Binary const& other, int position, int count) {
    int p = detail::clipPosition(position, other.m_length);
    Ops::append(*this, other.m_data + p, detail::clipCount(p, count, other.m_length));
    return *this;
}

Binary& Binary::insert(int position, Binary const& other) {
    Ops::insert(*this, position, other);
    return *this;
}

Binary& Binary::remove(int position, int count) {
    Ops::remove(*this, position, count);
    return *this;
}

Binary& Binary::replace(int position, int count, Binary const& other) {
    Ops::replaceRange(*this, position, count, other);
    return *this;
}

Binary& Binary::remove(Binary const& needle) {
    Ops::replaceAll(*this, needle, Binary());
    return *this;
}

Binary& Binary::replace(Binary const& needle, Binary const& replacement) {
    Ops::replaceAll(*this, needle, replacement);
    return *this;
}

int Binary::indexOf(Binary const& needle) const { return Ops::indexOf(*this, needle, 0); }
int Binary::indexOf(Binary const& needle, int from) const { return Ops::indexOf(*this, needle, from); }
int Binary::lastIndexOf(Binary const& needle) const {
    return Ops::lastIndexOf(*this, needle, m_length - needle.m_length);
}
int Binary::lastIndexOf(Binary const& needle, int from) const {
    return Ops::lastIndexOf(*this, needle, from);
}
int Binary::indexOf(char byte) const { return Ops::indexOfUnit(*this, byte, 0); }
int Binary::indexOf(char byte, int from) const { return Ops::indexOfUnit(*this, byte, from); }
int Binary::lastIndexOf(char byte) const { return Ops::lastIndexOfUnit(*this, byte, m_length - 1); }
int Binary::lastIndexOf(char byte, int from) const { return Ops::lastIndexOfUnit(*this, byte, from); }

Binary Binary::mid(int position, int count) const { return Binary(*this, position, count); }

Binary Binary::left(int n) const {
    if (n <= 0) return Binary();
    return Binary(m_data, n > m_length ? m_length : n);
}

Binary Binary::right(int n) const {
    if (n <= 0) return Binary();
    if (n > m_length) n = m_length;
    return Binary(m_data + m_length - n, n);
}

bool Binary::operator==(Binary const& other) const {
    return m_length == other.m_length && Ops::equal(m_data, other.m_data, m_length);
}

bool Binary::operator<(Binary const& other) const {
    int n = m_length < other.m_length ? m_length : other.m_length;
    int c = n > 0 ? std::memcmp(m_data, other.m_data, static_cast<size_t>(n)) : 0;
    if (c != 0) return c < 0;
    return m_length < other.m_length;
}

void Binary::utf8ToString(String& out) const { convertFromUtf8(*this, &out); }

String Binary::utf8ToString() const {
    String out;
    convertFromUtf8(*this, &out);
    return out;
}

void Binary::ansiToString(String& out) const { convertFromAnsi(*this, &out); }

String Binary::ansiToString() const {
    String out;
    convertFromAnsi(*this, &out);
    return out;
}

Binary operator+(Binary const& a, char const* b) { return Ops::concatText(nullptr, a, b); }
Binary operator+(char const* a, Binary const& b) { return Ops::concatText(a, b, nullptr); }
Binary operator+(Binary const& a, Binary const& b) { return Ops::concat(a, b); }

Binary operator+(Binary&& a, char const* b) {
    Binary result(std::move(a));
    result.append(b);
    return result;
}

Binary operator+(Binary&& a, Binary const& b) {
    Binary result(std::move(a));
    result.append(b);
    return result;
}

}  // namespace core
}  // namespace gt
