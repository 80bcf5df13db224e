// A URL split into scheme, host (with any port), path, query and fragment,
// with the percent and form encodings that go with it.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Dictionary.h"

namespace gt {
namespace net {

class URL {
public:
    URL() = default;
    URL(core::String const& text);
    URL(core::Char const* text);
    URL(URL const&) = default;
    URL(URL&&) = default;
    URL& operator=(URL const&) = default;
    URL& operator=(URL&&) = default;
    virtual ~URL();

    core::String const& scheme() const { return m_scheme; }
    core::String const& host() const { return m_host; }
    core::String const& path() const { return m_path; }
    core::String const& query() const { return m_query; }
    core::String const& fragment() const { return m_fragment; }

    // The chosen parts: scheme + "://", host, path, "?" + query, "#" +
    // fragment; a part is written only when chosen and not empty.
    core::String toString(bool scheme, bool host, bool path, bool query, bool fragment) const;
    core::String toString() const { return toString(true, true, true, true, true); }

    // True when all five parts are empty.
    bool isEmpty() const;
    bool operator==(URL const& other) const;
    bool operator!=(URL const& other) const { return !(*this == other); }
    // The shared URL with five empty parts.
    static URL const& emptyUrl();

    // Percent encoding: letters, digits and -._~!'()* stay, every other byte
    // becomes %XX (upper-case hex); a blank is %20.
    static core::String encode(core::Binary const& bytes);
    // Percent decoding: '+' is a blank; "%XX" with two hex digits is that
    // byte; a '%' without two hex digits after it stays a literal '%'. Other
    // characters up to U+00FF are one byte each, higher ones their UTF-8.
    static core::Binary decode(core::String const& text);
    // name=value pairs of the UTF-8 texts, percent-encoded, in key order,
    // joined by '&'.
    static core::String encodeForm(core::Dictionary<core::String> const& fields);
    // Splits a query at '&' and each piece at its first '='; names and values
    // are decoded as UTF-8; the last of repeated names wins.
    static core::Dictionary<core::String> parseQuery(core::String const& query);

private:
    void _parse(core::String const& text);

    core::String m_scheme;
    core::String m_host;
    core::String m_path;
    core::String m_query;
    core::String m_fragment;
};

}  // namespace net
}  // namespace gt
