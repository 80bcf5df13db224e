#include "gt/util/CookieJar.h"

namespace gt {
namespace util {

using core::String;

namespace {

String normalDomain(String const& text) {
    String out = text.toLower();
    out.trimLeft(String(u"."));
    out.trimLeft(String(u"*."));
    return out;
}

}  // namespace

CookieJar::CookieJar(String const& text) { load(text); }

CookieJar::~CookieJar() = default;

void CookieJar::add(Cookie const& cookie) {
    for (Cookie& existing : m_cookies) {
        if (existing.domain == cookie.domain && existing.name == cookie.name) {
            existing = cookie;
            return;
        }
    }
    if (m_cookies.count() >= MAX_COOKIES) _dropOldest();
    m_cookies.add(cookie);
}

void CookieJar::add(core::Array<Cookie> const& cookies) {
    for (Cookie const& cookie : cookies)
        add(cookie);
}

void CookieJar::find(String const& host, core::Array<Cookie>* out) const {
    if (!out) return;
    out->clear();
    for (Cookie const& cookie : m_cookies) {
        if (domainMatches(host, cookie.domain)) out->add(cookie);
    }
}

String CookieJar::value(String const& host, String const& name) const {
    for (Cookie const& cookie : m_cookies) {
        if (cookie.name == name && domainMatches(host, cookie.domain)) return cookie.value;
    }
    return String();
}

void CookieJar::clear() { m_cookies.clear(); }

String CookieJar::toString() const {
    String out;
    for (Cookie const& cookie : m_cookies) {
        out += cookie.toString();
        out += u"\r\n";
    }
    return out;
}

void CookieJar::load(String const& text) {
    m_cookies.clear();
    int start = 0;
    while (start < text.length()) {
        int end = text.indexOf(u"\r\n", start);
        if (end < 0) end = text.length();
        if (end > start) {
            if (m_cookies.count() >= MAX_COOKIES) _dropOldest();
            m_cookies.add(Cookie(text.mid(start, end - start)));
        }
        start = end + 2;
    }
}

bool CookieJar::domainMatches(String const& host, String const& domain) {
    String h = normalDomain(host);
    String d = normalDomain(domain);
    if (h == d) return true;
    return h.length() > d.length() && h[h.length() - d.length() - 1] == u'.' && h.endsWith(d);
}

void CookieJar::_dropOldest() { m_cookies.remove(0, 1); }

}  // namespace util
}  // namespace gt
