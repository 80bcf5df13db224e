#include "gt/core/util/JsonParser.h"

#include "gt/core/lang/Double.h"
#include "gt/core/lang/Long.h"

namespace gt {
namespace core {

namespace {

constexpr int kKeptNumberCapacity = 0x100000;

bool isWhitespace(Char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0; }

bool isNumberUnit(Char c) {
    return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'e' || c == u'E';
}

int hexValue(Char c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

}  // namespace

// Counts one level of object or array nesting while it lives.
class JsonParser::DepthGuard {
public:
    explicit DepthGuard(int& depth) : m_depth(depth) { ++m_depth; }
    ~DepthGuard() { --m_depth; }
    DepthGuard(DepthGuard const&) = delete;
    DepthGuard& operator=(DepthGuard const&) = delete;
    bool tooDeep() const { return m_depth > MAX_DEPTH; }

private:
    int& m_depth;
};

JsonParser::JsonParser() : m_cursor(0), m_begun(false), m_depth(0) {}

JsonParser::~JsonParser() { end(); }

bool JsonParser::begin(String const& text) {
    if (m_begun) return false;
    m_text = text;
    m_cursor = 0;
    m_depth = 0;
    m_begun = true;
    return true;
}

void JsonParser::end() {
    if (!m_begun) return;
    m_text.clear();
    m_text.shrink();
    m_number.clear();
    m_number.shrink();
    m_cursor = 0;
    m_begun = false;
}

bool JsonParser::parse(Any* out) {
    if (!m_begun || !out) return false;
    m_cursor = 0;
    m_depth = 0;
    Any value;
    bool ok = readValue(&value);
    if (ok) out->swap(value);
    m_cursor = 0;
    m_number.clear();
    if (m_number.capacity() > kKeptNumberCapacity) m_number.shrink();
    return ok;
}

void JsonParser::skipWhitespace() {
    int const n = m_text.length();
    Char const* p = m_text.data();
    while (m_cursor < n && isWhitespace(p[m_cursor]))
        ++m_cursor;
}

bool JsonParser::readValue(Any* out) {
    if (!out) return false;
    skipWhitespace();
    if (_atEnd()) return false;
    Char c = _current();
    if (c == u'"') {
        String text;
        if (!readString(&text)) return false;
        *out = std::move(text);
        return true;
    }
    if (c == u'-' || c == u'.' || (c >= u'0' && c <= u'9')) return readNumber(out);
    if (c == u'{') {
        Dictionary<Any> object;
        if (!readObject(&object)) return false;
        *out = std::move(object);
        return true;
    }
    if (c == u'[') {
        Array<Any> array;
        if (!readArray(&array)) return false;
        *out = std::move(array);
        return true;
    }
    return readKeyword(out);
}

bool JsonParser::readString(String* out) {
    if (!out) return false;
    skipWhitespace();
    int const n = m_text.length();
    Char const* p = m_text.data();
    if (m_cursor + 1 >= n || p[m_cursor] != u'"') return false;
    out->clear();
    int i = m_cursor + 1;
    while (true) {
        // Copy the run up to the next quote or backslash as one block.
        int run = i;
        while (i < n && p[i] != u'"' && p[i] != u'\\')
            ++i;
        out->append(p + run, i - run);
        if (i >= n) return false;  // no closing quote
        if (p[i] == u'"') break;
        if (++i >= n) return false;
        Char unit;
        switch (p[i]) {
            case u'"':
            case u'/':
            case u'\\':
                unit = p[i];
                break;
            case u'b':
                unit = 0x08;
                break;
            case u'f':
                unit = 0x0C;
                break;
            case u'n':
                unit = 0x0A;
                break;
            case u'r':
                unit = 0x0D;
                break;
            case u't':
                unit = 0x09;
                break;
            case u'u': {
                if (n - i <= 4) return false;
                int value = 0;
                for (int k = 1; k <= 4; ++k) {
                    int digit = hexValue(p[i + k]);
                    if (digit < 0) return false;
                    value = value * 16 + digit;
                }
                unit = static_cast<Char>(value);
                i += 4;
                break;
            }
            default:
                return false;
        }
        out->append(unit);
        ++i;
    }
    m_cursor = i + 1;
    return true;
}

bool JsonParser::readNumber(Any* out) {
    if (!out) return false;
    skipWhitespace();
    int const n = m_text.length();
    Char const* p = m_text.data();
    int start = m_cursor;
    // A fraction or an exponent makes a double: an integer parse would stop
    // at the 'e' and read 1e5 as 1.
    bool point = false;
    while (m_cursor < n && isNumberUnit(p[m_cursor])) {
        Char c = p[m_cursor];
        point = point || c == u'.' || c == u'e' || c == u'E';
        ++m_cursor;
    }
    if (m_cursor == start) return false;
    m_number.clear();
    m_number.append(p + start, m_cursor - start);
    if (point) {
        *out = Double::parse(m_number);
        return true;
    }
    long long value = Long::parse(m_number);
    if (value >= -128 && value <= 127) {
        *out = static_cast<signed char>(value);
    } else if (value >= -32768 && value <= 32767) {
        *out = static_cast<short>(value);
    } else if (value >= -2147483647LL - 1 && value <= 2147483647LL) {
        *out = static_cast<int>(value);
    } else {
        *out = value;
    }
    return true;
}

bool JsonParser::_matches(Char const* word, int length) const {
    if (m_text.length() - m_cursor < length) return false;
    Char const* p = m_text.data() + m_cursor;
    for (int i = 0; i < length; ++i)
        if (p[i] != word[i]) return false;
    return true;
}

bool JsonParser::readKeyword(Any* out) {
    if (!out) return false;
    skipWhitespace();
    if (_matches(u"true", 4)) {
        *out = true;
        m_cursor += 4;
    } else if (_matches(u"false", 5)) {
        *out = false;
        m_cursor += 5;
    } else if (_matches(u"null", 4)) {
        out->reset();
        m_cursor += 4;
    } else {
        return false;
    }
    return true;
}

bool JsonParser::readObject(Dictionary<Any>* out) {
    if (!out) return false;
    skipWhitespace();
    if (_atEnd() || _current() != u'{') return false;
    DepthGuard depth(m_depth);
    if (depth.tooDeep()) return false;
    ++m_cursor;
    skipWhitespace();
    Dictionary<Any> entries;
    if (!_atEnd() && _current() == u'}') {
        ++m_cursor;
        out->swap(entries);
        return true;
    }
    String key;
    while (true) {
        if (!readString(&key)) return false;
        skipWhitespace();
        if (_atEnd() || _current() != u':') return false;
        ++m_cursor;
        Any value;
        if (!readValue(&value)) return false;
        entries.set(key, std::move(value));  // the last of a repeated key wins
        skipWhitespace();
        if (_atEnd()) return false;
        Char c = _current();
        ++m_cursor;
        if (c == u',') continue;
        if (c != u'}') return false;
        out->swap(entries);
        return true;
    }
}

bool JsonParser::readArray(Array<Any>* out) {
    if (!out) return false;
    skipWhitespace();
    if (_atEnd() || _current() != u'[') return false;
    DepthGuard depth(m_depth);
    if (depth.tooDeep()) return false;
    ++m_cursor;
    skipWhitespace();
    Array<Any> elements;
    if (!_atEnd() && _current() == u']') {
        ++m_cursor;
        out->swap(elements);
        return true;
    }
    while (true) {
        // The array grows by doubling; nothing is reserved ahead of the input.
        Any value;
        if (!readValue(&value)) return false;
        elements.add(std::move(value));
        skipWhitespace();
        if (_atEnd()) return false;
        Char c = _current();
        ++m_cursor;
        if (c == u',') continue;
        if (c != u']') return false;
        out->swap(elements);
        return true;
    }
}

}  // namespace core
}  // namespace gt
