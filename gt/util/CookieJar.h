// The cookies a web client keeps between requests, matched to hosts by
// domain. A cookie's identity is its domain and name (exact text).
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"
#include "gt/util/Cookie.h"

namespace gt {
namespace util {

class CookieJar {
public:
    // The most cookies a jar holds; adding one more drops the oldest.
    static constexpr int MAX_COOKIES = 300;

    CookieJar() = default;
    explicit CookieJar(core::String const& text);
    virtual ~CookieJar();

    // Replaces the cookie of the same domain and name in place, or appends.
    void add(Cookie const& cookie);
    void add(core::Array<Cookie> const& cookies);
    // Empties out and fills it with the cookies whose domain matches host,
    // in jar order; does nothing when out is null.
    void find(core::String const& host, core::Array<Cookie>* out) const;
    // The value of the first cookie for host with exactly that name.
    core::String value(core::String const& host, core::String const& name) const;
    void clear();
    int count() const { return m_cookies.count(); }
    Cookie const& operator[](int index) const { return m_cookies[index]; }

    // One cookie per line, each line ended by "\r\n".
    core::String toString() const;
    // Replaces the jar's content with the cookies of the text form (no
    // replacement rule; beyond the cap the oldest lines are dropped).
    void load(core::String const& text);

    // Lower-cased, with leading "." and "*." runs removed, the host equals the
    // domain or ends with "." + domain.
    static bool domainMatches(core::String const& host, core::String const& domain);

private:
    void _dropOldest();

    core::Array<Cookie> m_cookies;
};

}  // namespace util
}  // namespace gt
