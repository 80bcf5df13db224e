#include "gt/net/URL.h"

#include "gt/core/lang/CodePage.h"

namespace gt {
namespace net {

using core::Binary;
using core::Char;
using core::String;

namespace {

// Index of the first of the given characters at or after from, or length.
int findAny(String const& text, int from, Char const* set) {
    Char const* data = text.data();
    for (int i = from; i < text.length(); ++i) {
        for (Char const* s = set; *s; ++s) {
            if (data[i] == *s) return i;
        }
    }
    return text.length();
}

bool isUnreserved(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '-':
        case '.':
        case '_':
        case '~':
        case '!':
        case '\'':
        case '(':
        case ')':
        case '*':
            return true;
        default:
            return false;
    }
}

int hexValue(Char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

String utf8Text(Binary const& bytes) {
    String out;
    core::convertFromUtf8(bytes, &out);
    return out;
}

}  // namespace

URL::URL(String const& text) { _parse(text); }

URL::URL(Char const* text) { _parse(String(text)); }

URL::~URL() = default;

void URL::_parse(String const& text) {
    int const length = text.length();
    int pos = 0;
    int sep = text.indexOf(u"://");
    // An empty scheme is no scheme: "://x" would otherwise lose its "://" when
    // printed and read back as a different URL.
    if (sep > 0 && findAny(text, 0, u"/?#") > sep) {
        m_scheme = text.left(sep);
        pos = sep + 3;
    }
    int end = findAny(text, pos, u"/?#");
    m_host = text.mid(pos, end - pos);
    Char delimiter = end < length ? text[end] : 0;
    pos = end + 1;
    if (delimiter == '/') {
        end = findAny(text, pos, u"?#");
        m_path = u"/";
        m_path.append(text, pos, end - pos);
        delimiter = end < length ? text[end] : 0;
        pos = end + 1;
    }
    if (delimiter == '?') {
        end = findAny(text, pos, u"#");
        m_query = text.mid(pos, end - pos);
        delimiter = end < length ? text[end] : 0;
        pos = end + 1;
    }
    if (delimiter == '#') m_fragment = text.mid(pos, length - pos);
}

String URL::toString(bool scheme, bool host, bool path, bool query, bool fragment) const {
    String out;
    if (scheme && !m_scheme.isEmpty()) {
        out += m_scheme;
        out += u"://";
    }
    if (host) out += m_host;
    if (path) out += m_path;
    if (query && !m_query.isEmpty()) {
        out += u'?';
        out += m_query;
    }
    if (fragment && !m_fragment.isEmpty()) {
        out += u'#';
        out += m_fragment;
    }
    return out;
}

bool URL::isEmpty() const {
    return m_scheme.isEmpty() && m_host.isEmpty() && m_path.isEmpty() && m_query.isEmpty() &&
           m_fragment.isEmpty();
}

bool URL::operator==(URL const& other) const {
    return m_scheme == other.m_scheme && m_host == other.m_host && m_path == other.m_path &&
           m_query == other.m_query && m_fragment == other.m_fragment;
}

URL const& URL::emptyUrl() {
    static URL const empty;
    return empty;
}

String URL::encode(Binary const& bytes) {
    static char const digits[] = "0123456789ABCDEF";
    String out;
    out.reserve(bytes.length());
    for (int i = 0; i < bytes.length(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (isUnreserved(c)) {
            out += static_cast<Char>(c);
        } else {
            Char escape[3] = {u'%', static_cast<Char>(digits[c >> 4]), static_cast<Char>(digits[c & 15])};
            out.append(escape, 3);
        }
    }
    return out;
}

Binary URL::decode(String const& text) {
    Binary out;
    out.reserve(text.length());
    int const length = text.length();
    for (int i = 0; i < length; ++i) {
        Char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < length && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else if (c <= 0xFF) {
            out += static_cast<char>(c);
        } else {
            // A surrogate pair is kept together so it becomes one 4-byte sequence.
            int n = 1;
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF)
                n = 2;
            Binary utf8;
            core::convertToUtf8(String(text.data() + i, n), &utf8);
            out += utf8;
            i += n - 1;
        }
    }
    return out;
}

String URL::encodeForm(core::Dictionary<String> const& fields) {
    String out;
    for (auto const& entry : fields) {
        if (!out.isEmpty()) out += u'&';
        out += encode(entry.first.toBinary());
        out += u'=';
        out += encode(entry.second.toBinary());
    }
    return out;
}

core::Dictionary<String> URL::parseQuery(String const& query) {
    core::Dictionary<String> out;
    if (query.isEmpty()) return out;
    int start = 0;
    while (true) {
        int end = query.indexOf(u'&', start);
        int stop = end < 0 ? query.length() : end;
        String piece = query.mid(start, stop - start);
        int eq = piece.indexOf(u'=');
        String name = eq < 0 ? piece : piece.left(eq);
        String value = eq < 0 ? String() : piece.mid(eq + 1, piece.length() - eq - 1);
        out.set(utf8Text(decode(name)), utf8Text(decode(value)));
        if (end < 0) break;
        start = end + 1;
    }
    return out;
}

}  // namespace net
}  // namespace gt
