#include "gt/core/util/JsonBuilder.h"

#include <cmath>

#include "gt/core/lang/Double.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/lang/Long.h"
#include "gt/core/lang/NumberText.h"

namespace gt {
namespace core {

namespace {

// Fifteen digits keep the usual short form (0.1, not 0.10000000000000001);
// a value they do not pin down exactly (the largest double rounds up past
// the range) gets all seventeen, so the text reads back as the same double.
String numberText(double number) {
    String text = Double(number).toString();
    if (Double::parse(text) != number) text = detail::formatDouble("%.17g", number, 64);
    return text;
}

// The escape letter for a character that is written escaped, else 0.
Char escapeLetter(Char c) {
    switch (c) {
        case u'\\':
            return u'\\';
        case u'"':
            return u'"';
        case u'\r':
            return u'r';
        case u'\n':
            return u'n';
        case u'\f':
            return u'f';
        case u'\b':
            return u'b';
        case u'\t':
            return u't';
        default:
            return 0;
    }
}

}  // namespace

JsonBuilder::JsonBuilder() : m_depth(0), m_pretty(false), m_begun(false) {}

JsonBuilder::~JsonBuilder() { end(); }

bool JsonBuilder::begin(bool pretty) {
    if (m_begun) return false;
    m_pretty = pretty;
    m_depth = 0;
    m_begun = true;
    return true;
}

void JsonBuilder::end() {
    if (!m_begun) return;
    m_depth = 0;
    m_pretty = false;
    m_begun = false;
}

bool JsonBuilder::write(Dictionary<Any> const& object, String* out) {
    if (!out || !m_begun) return false;
    out->clear();
    bool ok = writeObject(object, out);
    m_depth = 0;
    return ok;
}

bool JsonBuilder::write(Array<Any> const& array, String* out) {
    if (!out || !m_begun) return false;
    out->clear();
    bool ok = writeArray(array, out);
    m_depth = 0;
    return ok;
}

bool JsonBuilder::write(Any const& value, String* out) {
    if (!out || !m_begun) return false;
    out->clear();
    bool ok = writeValue(value, out);
    m_depth = 0;
    return ok;
}

bool JsonBuilder::writeValue(Any const& value, String* out) {
    if (!out) return false;
    if (value.is<String>()) {
        out->append(u'"');
        _appendEscaped(value.cast<String>(), out);
        out->append(u'"');
    } else if (value.is<Binary>()) {
        out->append(u"\"<BINARY>\"");
    } else if (value.is<Array<Any> >()) {
        return writeArray(value.cast<Array<Any> >(), out);
    } else if (value.is<Dictionary<Any> >()) {
        return writeObject(value.cast<Dictionary<Any> >(), out);
    } else if (value.is<double>()) {
        // JSON has no spelling for infinity or NaN: any text written for them
        // would not read back, so the tree is refused instead.
        double const number = value.cast<double>();
        if (!std::isfinite(number)) return false;
        out->append(numberText(number));
    } else if (value.is<signed char>()) {
        out->append(Integer(value.cast<signed char>()).toString());
    } else if (value.is<short>()) {
        out->append(Integer(value.cast<short>()).toString());
    } else if (value.is<int>()) {
        out->append(Integer(value.cast<int>()).toString());
    } else if (value.is<long long>()) {
        out->append(Long(value.cast<long long>()).toString());
    } else if (value.is<bool>()) {
        out->append(value.cast<bool>() ? u"true" : u"false");
    } else if (value.isEmpty()) {
        out->append(u"null");
    } else {
        return false;
    }
    return true;
}

bool JsonBuilder::writeObject(Dictionary<Any> const& object, String* out) {
    if (!out) return false;
    out->append(u'{');
    if (!object.isEmpty()) {
        ++m_depth;
        _lineBreak(out);
        bool first = true;
        for (auto const& entry : object) {
            if (!first) {
                out->append(u',');
                _lineBreak(out);
            }
            first = false;
            // Keys are escaped like string values; a key with a quote or a
            // backslash would otherwise make text that cannot be read back.
            out->append(u'"');
            _appendEscaped(entry.first, out);
            out->append(u"\":");
            if (!writeValue(entry.second, out)) return false;
        }
        --m_depth;
    }
    _lineBreak(out);
    out->append(u'}');
    return true;
}

bool JsonBuilder::writeArray(Array<Any> const& array, String* out) {
    if (!out) return false;
    out->append(u'[');
    if (!array.isEmpty()) {
        ++m_depth;
        _lineBreak(out);
        for (int i = 0; i < array.count(); ++i) {
            if (i > 0) {
                out->append(u',');
                _lineBreak(out);
            }
            if (!writeValue(array[i], out)) return false;
        }
        --m_depth;
    }
    _lineBreak(out);
    out->append(u']');
    return true;
}

void JsonBuilder::escapeString(String& text) {
    int i = 0;
    while (i < text.length() && escapeLetter(text[i]) == 0 && text[i] >= 0x20)
        ++i;
    if (i == text.length()) return;
    String escaped;
    _appendEscaped(text, &escaped);
    text.swap(escaped);
}

void JsonBuilder::_lineBreak(String* out) const {
    if (!m_pretty) return;
    out->append(u"\r\n");
    out->append(m_depth, u'\t');
}

// Runs without an escaped character are copied as one block.
void JsonBuilder::_appendEscaped(String const& text, String* out) {
    Char const* p = text.data();
    int const n = text.length();
    int runStart = 0;
    for (int i = 0; i < n; ++i) {
        Char const letter = escapeLetter(p[i]);
        // Any other unit below 0x20 would leave text that no JSON reader,
        // ours included, accepts: it goes out as \u00XX.
        if (letter == 0 && p[i] >= 0x20) continue;
        out->append(p + runStart, i - runStart);
        out->append(u'\\');
        if (letter != 0) {
            out->append(letter);
        } else {
            static char16_t const kDigits[] = u"0123456789ABCDEF";
            out->append(u"u00", 3);
            out->append(kDigits[p[i] >> 4]);
            out->append(kDigits[p[i] & 15]);
        }
        runStart = i + 1;
    }
    out->append(p + runStart, n - runStart);
}

}  // namespace core
}  // namespace gt
